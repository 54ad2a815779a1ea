// The splash window: a picture with a blinking button; a click enters the main window.
#pragma once

#include <QWidget>

#include <cstdint>

class QLabel;
class QTimer;

namespace tessaro {

class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(QWidget* parent = nullptr);

    QLabel* Picture1;  // first state of the button picture
    QLabel* Picture2;  // second state
    QTimer* Timer1;    // blinking
    QWidget* Image1;   // the whole window
    QWidget* Image2;   // the web area
    int16_t blink_step = 0;

    void Timer1_Timer();

signals:
    // A click on the picture or the button: the main window opens and this one goes.
    void entered();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Enter, Space and Escape enter as a click does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void enter();
    bool entered_ = false; // a second click or key before the window goes enters nothing more
};

} // namespace tessaro
