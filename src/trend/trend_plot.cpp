// The plot widget: zoom with the wheel, +/- and a dragged rectangle, pan by dragging and the arrows.
#include "trend_plot.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace tessaro::trend {

namespace {
constexpr double kZoomStep = 0.8;     // one wheel notch or one +
constexpr double kArrowPan = 0.1;     // of the span, one arrow key press
constexpr double kPagePan = 0.9;      // with Shift or Page Up/Down
constexpr int kDragStartPx = 3;       // a press moved less than this is a click
constexpr double kNewestRoom = 0.02;  // of the span, right of the newest reading while following
} // namespace

TrendPlot::TrendPlot(const Recording& rec, QWidget* parent) : QWidget(parent), rec_(rec) {
    setObjectName(QStringLiteral("trend_plot"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(320, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Trend plot"));
    span_ = fit_all(rec_);
}

TrendRequest TrendPlot::request() const {
    TrendRequest r;
    r.t0 = span_.t0;
    r.t1 = span_.t1;
    r.zone = zone_;
    return r;
}

void TrendPlot::setZone(const QTimeZone& zone) {
    zone_ = zone;
    update();
}

void TrendPlot::changeSpan(Span s) {
    if (s.t1 - s.t0 < kShortestSpanMs) s.t1 = s.t0 + kShortestSpanMs;
    if (s == span_) return;
    span_ = s;
    update();
    emit spanChanged();
}

void TrendPlot::setSpan(Span s) {
    // A view that still reaches the newest reading keeps following it.
    follow_ = rec_.size() > 0 && s.t1 >= rec_.latest() ? Follow::Newest : Follow::Off;
    changeSpan(s);
}

void TrendPlot::fitAll() {
    follow_ = Follow::All;
    changeSpan(fit_all(rec_));
}

void TrendPlot::zoomBy(double factor) { setSpan(zoom_span(span_, (span_.t0 + span_.t1) / 2, factor)); }

void TrendPlot::panBy(double fraction) { setSpan(pan_span(span_, fraction)); }

void TrendPlot::showNewest() {
    if (rec_.size() == 0) return fitAll();
    const int64_t len = span_.t1 - span_.t0;
    const int64_t room = static_cast<int64_t>(static_cast<double>(len) * kNewestRoom);
    follow_ = Follow::Newest;
    changeSpan({rec_.latest() + room - len, rec_.latest() + room});
}

void TrendPlot::recordingGrew() {
    if (follow_ == Follow::All)
        changeSpan(fit_all(rec_));
    else if (follow_ == Follow::Newest && rec_.size() > 0 && rec_.latest() > span_.t1 -
             static_cast<int64_t>(static_cast<double>(span_.t1 - span_.t0) * kNewestRoom))
        showNewest();
    else
        update();
    if (underMouse()) updateReadout(mapFromGlobal(QCursor::pos()));
}

void TrendPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    picture_ = paint_trend(p, rect(), rec_, request(), font());
    if (cursor_ && *cursor_ < rec_.size()) {
        const size_t i = *cursor_;
        const double x = picture_.x_of(rec_.time(i));
        p.setRenderHint(QPainter::Antialiasing, true);
        QPen pen(QColor(90, 90, 90), 1.0, Qt::DotLine);
        p.setPen(pen);
        if (x >= picture_.plot.left() && x <= picture_.plot.right()) {
            p.drawLine(QLineF(x, picture_.plot.top(), x, picture_.plot.bottom()));
            if (!(rec_.flags(i) & kNoValue)) {
                p.setPen(QPen(QColor(0, 0, 0), 1.5));
                p.drawEllipse(QPointF(x, picture_.y_of(rec_.value(i))), 4, 4);
            }
        }
    }
    if (drag_ == Drag::Rectangle) {
        const QRect r = QRect(press_, now_).normalized();
        p.setPen(QPen(QColor(0, 0, 0), 1, Qt::DashLine));
        p.setBrush(QColor(0, 90, 200, 40));
        p.drawRect(QRectF(r.left(), picture_.plot.top(), r.width(), picture_.plot.height()));
    }
}

void TrendPlot::mousePressEvent(QMouseEvent* e) {
    press_ = now_ = e->position().toPoint();
    press_span_ = span_;
    const bool rectangle = e->button() == Qt::RightButton ||
                           (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ShiftModifier));
    if (rectangle)
        drag_ = Drag::Rectangle;
    else if (e->button() == Qt::LeftButton || e->button() == Qt::MiddleButton)
        drag_ = Drag::Pan;
}

void TrendPlot::mouseMoveEvent(QMouseEvent* e) {
    now_ = e->position().toPoint();
    if (drag_ == Drag::Pan) {
        const double dx = now_.x() - press_.x();
        setSpan(pan_span(press_span_, -dx / std::max(1.0, picture_.plot.width())));
    } else if (drag_ == Drag::Rectangle) {
        update();
    }
    updateReadout(now_);
}

void TrendPlot::mouseReleaseEvent(QMouseEvent* e) {
    now_ = e->position().toPoint();
    if (drag_ == Drag::Rectangle) {
        drag_ = Drag::None;
        const int a = std::min(press_.x(), now_.x()), b = std::max(press_.x(), now_.x());
        if (b - a >= kDragStartPx) setSpan({picture_.t_of(a), picture_.t_of(b)});
        update();
    }
    drag_ = Drag::None;
}

void TrendPlot::wheelEvent(QWheelEvent* e) {
    const double notches = e->angleDelta().y() / 120.0;
    if (notches == 0) return;
    const int64_t anchor = picture_.t_of(e->position().x());
    setSpan(zoom_span(span_, anchor, std::pow(kZoomStep, notches)));
    updateReadout(e->position().toPoint());
    e->accept();
}

void TrendPlot::keyPressEvent(QKeyEvent* e) {
    const bool big = e->modifiers() & Qt::ShiftModifier;
    switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: zoomBy(kZoomStep); break;
    case Qt::Key_Minus: zoomBy(1 / kZoomStep); break;
    case Qt::Key_Left: panBy(big ? -kPagePan : -kArrowPan); break;
    case Qt::Key_Right: panBy(big ? kPagePan : kArrowPan); break;
    case Qt::Key_PageUp: panBy(-kPagePan); break;
    case Qt::Key_PageDown: panBy(kPagePan); break;
    case Qt::Key_Home: fitAll(); break;
    case Qt::Key_End: showNewest(); break;
    case Qt::Key_Escape:
        if (drag_ == Drag::Rectangle) {
            drag_ = Drag::None;
            update();
            break;
        }
        [[fallthrough]];
    default: QWidget::keyPressEvent(e); return;
    }
    e->accept();
}

void TrendPlot::leaveEvent(QEvent*) {
    cursor_.reset();
    readout_.clear();
    update();
    emit readoutChanged(readout_);
}

void TrendPlot::updateReadout(QPoint pos) {
    std::optional<size_t> i;
    if (picture_.plot.contains(pos)) i = nearest_reading(rec_, picture_.t_of(pos.x()));
    QString text;
    if (i) {
        const uint8_t f = rec_.flags(*i);
        text = local_time_text(rec_.time(*i), zone_) + QStringLiteral("   ");
        text += (f & kOverload) ? QStringLiteral("OL") : (f & kNoValue) ? QStringLiteral("no value") : current_text(rec_.value(*i));
        if (f & kLowBattery) text += QStringLiteral("   low battery");
        if (f & kAlarm) text += QStringLiteral("   alarm");
        if (f & kBackwards) text += QStringLiteral("   time went backwards here");
    }
    if (i != cursor_) {
        cursor_ = i;
        update();
    }
    if (text != readout_) {
        readout_ = text;
        emit readoutChanged(readout_);
    }
}

} // namespace tessaro::trend
