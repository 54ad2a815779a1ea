#include "window_looks.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPalette>
#include <QWidget>

namespace tessaro {

void set_colours(QWidget* w, const QColor& text, const QColor& base) {
    QPalette p = w->palette();
    if (text.isValid()) p.setColor(QPalette::Text, text), p.setColor(QPalette::WindowText, text);
    if (base.isValid()) p.setColor(QPalette::Base, base), p.setColor(QPalette::Window, base);
    w->setPalette(p);
    if (base.isValid()) w->setAutoFillBackground(true);
}

void show_text_start(QLineEdit* box) {
    if (box->hasSelectedText()) {
        const int start = box->selectionStart();
        box->setSelection(start + box->selectionLength(), -box->selectionLength());
    } else {
        box->setCursorPosition(0);
    }
}

bool is_left_click(const QWidget* widget, const QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease) return false;
    const auto* e = static_cast<const QMouseEvent*>(event);
    return e->button() == Qt::LeftButton && widget->rect().contains(e->position().toPoint());
}

} // namespace tessaro
