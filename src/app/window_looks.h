// Small rules the windows share: the fixed colours' partners, texts shown from their start, clicks.
#pragma once

#include <QColor>

class QEvent;
class QLineEdit;
class QWidget;

namespace tessaro {

// The standard light palette's colours. Where the design fixes a text or a background colour, its
// partner takes the colour it has there, so the control reads the same under a dark theme.
inline const QColor kPlainText{0, 0, 0};
inline const QColor kPlainBase{255, 255, 255};
inline const QColor kPlainButtonFace{239, 239, 239};
inline const QColor kPlainWindowText{0, 0, 0};

// Sets the text colour (Text, WindowText) and the background (Base, Window) of w for every state.
void set_colours(QWidget* w, const QColor& text, const QColor& base);

// Scrolls the box back to its first character, keeping a selection (with the cursor at its start).
void show_text_start(QLineEdit* box);

// A click on a control: the left button released over it (a release outside or of another button is none).
bool is_left_click(const QWidget* widget, const QEvent* event);

} // namespace tessaro
