// Writing a box's text only when it changes: an unchanged text must not cost a repaint.
#pragma once

#include <QLineEdit>
#include <QString>

namespace tessaro {

inline void set_text(QLineEdit* box, const QString& text) {
    if (box->text() != text) box->setText(text);
}

} // namespace tessaro
