#include "form2.h"

#include "form1.h"
#include "platform/user_seam.h"
#include "splash_art.h"
#include "window_looks.h"

#include <QCursor>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

namespace tessaro {

namespace {
QWidget* click_area(QWidget* parent, const char* name, QRect twip_rect) {
    auto* w = new QWidget(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(twips(twip_rect.x()), twips(twip_rect.y()), twips(twip_rect.width()), twips(twip_rect.height()));
    return w;
}
} // namespace

Form2::Form2(QWidget* parent) : QWidget(parent) {
    setObjectName("Form2");
    setWindowTitle(QStringLiteral("Form2"));
    setFixedSize(twips(12045), twips(7005));
    setFocusPolicy(Qt::StrongFocus); // the keys that enter reach the window itself
    const qreal ratio = devicePixelRatioF();
    auto* background = new QLabel(this);
    background->setObjectName("background");
    background->setPixmap(splash_background(ratio));
    background->setGeometry(0, 0, 802, 466);

    // Listed back to front: a later widget lies on top of the earlier ones.
    Image1 = click_area(this, "Image1", QRect(0, 0, 12015, 6975));
    Image2 = click_area(this, "Image2", QRect(7920, 5520, 3615, 1095));
    const QCursor hand(QPixmap(QStringLiteral(":/hand.png")), 10, 2);
    Image2->setCursor(hand);
    auto picture = [&](const char* name, int state) {
        auto* p = new QLabel(this);
        p->setObjectName(QString::fromLatin1(name));
        p->setPixmap(splash_button(state, ratio));
        p->setGeometry(twips(840), twips(5760), twips(1455), twips(735));
        p->setCursor(hand);
        p->installEventFilter(this);
        return p;
    };
    Picture1 = picture("Picture1", 1);
    Picture2 = picture("Picture2", 2);
    Image1->installEventFilter(this);
    Image2->installEventFilter(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    connect(Timer1, &QTimer::timeout, this, &Form2::Timer1_Timer);
    Timer1->setInterval(2000);
    Timer1->start();
    Picture1->show();
    Picture2->hide();

    // For screen readers: what the window is and how to get past it.
    setAccessibleName(QStringLiteral("Tessaro"));
    setAccessibleDescription(QStringLiteral("Title window. Press Enter or click the picture to open the main window."));
    background->setAccessibleName(QStringLiteral("Tessaro title picture"));
    Image1->setAccessibleName(QStringLiteral("Open the main window"));
    Picture1->setAccessibleName(QStringLiteral("Enter"));
    Picture2->setAccessibleName(QStringLiteral("Enter"));
    Image2->setAccessibleName(QStringLiteral("Web page"));
}

void Form2::Timer1_Timer() {
    blink_step = static_cast<int16_t>(blink_step + 1);
    if (blink_step > 6) blink_step = 0;
    switch (blink_step) {
    case 0: case 2: case 4:
        Picture2->show();
        Picture1->hide();
        Timer1->setInterval(100);
        break;
    case 1: case 3:
        Picture1->show();
        Picture2->hide();
        Timer1->setInterval(100);
        break;
    case 5:
        Picture1->show();
        Picture2->hide();
        Timer1->setInterval(1500);
        break;
    default:
        break; // 6: the picture and the interval stay
    }
}

void Form2::enter() {
    if (std::exchange(entered_, true)) return;
    Timer1->stop();
    emit entered();
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease) return QWidget::eventFilter(watched, event);
    if (!is_left_click(static_cast<QWidget*>(watched), event)) return true;
    if (watched == Image2) open_web_page();
    else enter();
    return true;
}

void Form2::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_Escape:
        if (!event->isAutoRepeat()) enter();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace tessaro
