// The window without a mouse and for screen readers: keys, accessible names, the lamp in words.
#include "form1.h"

#include "app/shape_widget.h"
#include "chart/chart_widget.h"
#include "link/alarm_rules.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

namespace tessaro {

void Form1::connect_keyboard() {
    // Enter on a focused button clicks it (the window's event filter does it).
    for (QPushButton* b : client->findChildren<QPushButton*>()) b->installEventFilter(this);

    // Enter in the go-to box is "Ensure", in the alarm entry "Lock".
    connect(Text27, &QLineEdit::returnPressed, this, [this] {
        if (Command8->isVisible()) Command8->click();
    });
    connect(Text35, &QLineEdit::returnPressed, this, [this] {
        if (Command6->isVisible() && Command6->text() != QLatin1String("Unlock")) Command6->click();
    });

    // The menus open with Alt and the letter in their caption; the captions keep no access-key marks.
    const std::pair<QMenu*, Qt::Key> menus[] = {{wj, Qt::Key_F}, {ssjk, Qt::Key_S}, {lscx, Qt::Key_L}, {daying_1, Qt::Key_D}};
    for (const auto& [menu, letter] : menus) {
        auto* key = new QShortcut(QKeySequence(Qt::ALT | letter), this);
        connect(key, &QShortcut::activated, this, [this, menu = menu] { menuBar()->setActiveAction(menu->menuAction()); });
    }
}

void Form1::name_controls() {
    const std::pair<QWidget*, const char*> names[] = {
        {Text29, "Reading"},
        {Text38, "Port"},
        {Text39, "Port state"},
        {Text40, "Link state"},
        {Text41, "Page status"},
        {Text42, "Progress and notices"},
        {Text35, "Alarm threshold"},
        {Text27, "Go to page"},
        {Text31, "Column header"},
        {Text32, "Table title"},
        {Text33, "Progress bar"},
        {Text34, "Progress percentage"},
        {Text37, "Cursor readout"},
        {Combo1, "Port number"},
        {Picture1, "Chart"},
        {Shape1, "Alarm lamp"},
        {Option1, "Realtime view"},
        {Option2, "History view"},
        {Label4, "Web page"},
    };
    for (const auto& [w, name] : names) w->setAccessibleName(QString::fromLatin1(name));
    // An editable combo box gives its text as its name on this platform; screen readers name it
    // from the label it is the buddy of. The "com:" caption beside it is a text box, so a label
    // with that text, not shown, stands in for it. The box the keys go to is named too.
    auto* port_label = new QLabel(QStringLiteral("com:"), client);
    port_label->setObjectName("Combo1Label");
    port_label->setBuddy(Combo1);
    port_label->hide();
    Combo1->lineEdit()->setAccessibleName(QStringLiteral("Port number"));
    for (int n = 1; n <= 26; ++n) text_box(n)->setAccessibleName(QStringLiteral("Record line %1").arg(n));
    // The lamp takes the mouse so that its tooltip shows.
    Shape1->setAttribute(Qt::WA_TransparentForMouseEvents, false);
}

void Form1::describe_lamp() {
    const QString words = lock_on != kLockOn      ? QStringLiteral("not locked")
                          : alarm_hit == kAlarmHit ? QStringLiteral("alarm")
                                                   : QStringLiteral("normal");
    if (Shape1->accessibleDescription() == words) return;
    Shape1->setAccessibleDescription(words);
    Shape1->setToolTip(words);
}

} // namespace tessaro
