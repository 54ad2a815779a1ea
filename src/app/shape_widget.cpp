#include "shape_widget.h"

#include <QPainter>

namespace tessaro {

ShapeWidget::ShapeWidget(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeWidget::setColour(const QColor& colour) {
    if (fill_ == colour && border_ == colour) return;
    fill_ = colour;
    border_ = colour;
    update();
}

void ShapeWidget::setFilled(bool filled) {
    filled_ = filled;
    update();
}

void ShapeWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, kind_ == Kind::Circle);
    p.setPen(border_);
    p.setBrush(filled_ ? QBrush(fill_) : Qt::NoBrush);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    if (kind_ == Kind::Rectangle) {
        p.drawRect(r);
    } else {
        // A circle of the box's smaller side, centred, as the lamp is drawn.
        const int d = std::min(r.width(), r.height());
        p.drawEllipse(QRect(r.x() + (r.width() - d) / 2, r.y() + (r.height() - d) / 2, d, d));
    }
}

} // namespace tessaro
