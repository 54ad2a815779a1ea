#include "chart_widget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

namespace tessaro {

ChartWidget::ChartWidget(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartWidget::setImage(const QImage& image) {
    image_ = image;
    update();
}

void ChartWidget::setScreenImage(const QImage& image) {
    screen_image_ = image;
    drawn_ratio_ = image.isNull() ? 1.0 : image.devicePixelRatio();
    update();
}

void ChartWidget::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    if (ratio != drawn_ratio_) {
        drawn_ratio_ = ratio; // asked once per change
        emit ratioChanged();
    }
    const QImage& shown =
        !screen_image_.isNull() && screen_image_.devicePixelRatio() == ratio ? screen_image_ : image_;
    QPainter p(this);
    // Only what the chart image leaves bare is filled: the image itself is opaque.
    const QRect drawn(QPoint(0, 0), shown.deviceIndependentSize().toSize());
    QRegion bare(rect());
    if (!shown.isNull() && !shown.hasAlphaChannel()) bare -= drawn;
    for (const QRect& r : bare) p.fillRect(r, QColor(64, 64, 64));
    if (!shown.isNull()) p.drawImage(QPoint(0, 0), shown);
}

void ChartWidget::mousePressEvent(QMouseEvent* e) {
    press_seen_ = true;
    emit pressed(pixels_to_twips(e->position()), e->button());
}

void ChartWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (!press_seen_) return;
    press_seen_ = false;
    emit released(pixels_to_twips(e->position()), e->button(), rect().contains(e->position().toPoint()));
}

void ChartWidget::mouseMoveEvent(QMouseEvent* e) {
    inside_ = rect().contains(e->position().toPoint());
    cursor_twips_ = pixels_to_twips(e->position());
}

void ChartWidget::enterEvent(QEnterEvent* e) {
    inside_ = true;
    cursor_twips_ = pixels_to_twips(e->position());
}

void ChartWidget::leaveEvent(QEvent*) { inside_ = false; }

} // namespace tessaro
