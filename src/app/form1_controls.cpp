// The main window's controls: created once, and put back to their designed state on every load.
#include "form1.h"

#include "chart/chart_widget.h"
#include "platform/designed_font.h"
#include "reading_box.h"
#include "shape_widget.h"
#include "window_looks.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTimer>

#include <cstring>
#include <string_view>

namespace tessaro {
namespace {

enum class Kind { Text, Button, Label, Option, Frame, Picture, Chart, Rect, Circle, Combo };

struct Design {
    const char* name;
    Kind kind;
    const char* parent; // nullptr: the client area
    int left, top, width, height; // twips
    const char* caption;
};

// Creation order is stacking order: a control listed later lies on top of the earlier ones.
constexpr Design kDesign[] = {
    {"Text29", Kind::Text, nullptr, 1200, 120, 10095, 2655, "400.0mA"},
    {"Frame2", Kind::Frame, nullptr, 12360, 120, 2055, 975, "com setting"},
    {"Text30", Kind::Text, "Frame2", 600, 480, 495, 255, "com:"},
    {"Label3", Kind::Label, nullptr, 12840, 795, 855, 255, "选择端口:"},
    {"Combo1", Kind::Combo, nullptr, 13440, 528, 855, 300, "1"},
    {"Frame1", Kind::Frame, nullptr, 12360, 1200, 2055, 1575, "mode"},
    {"Option1", Kind::Option, "Frame1", 120, 360, 255, 255, ""},
    {"Option2", Kind::Option, "Frame1", 120, 960, 255, 255, ""},
    {"Command11", Kind::Button, nullptr, 12960, 1440, 1095, 495, "Realtime"},
    {"Command9", Kind::Button, nullptr, 12960, 2040, 1095, 495, "History"},
    {"Frame3", Kind::Frame, nullptr, 12360, 2880, 2175, 3375, "operation"},
    {"Command5", Kind::Button, nullptr, 12960, 3120, 1215, 495, "Read"},
    {"Command1", Kind::Button, nullptr, 12960, 3720, 1215, 495, "Save"},
    {"Command2", Kind::Button, nullptr, 12960, 4320, 1215, 495, "Empty"},
    {"Command15", Kind::Button, "Frame3", 600, 2040, 1215, 495, "cyrve"},
    {"Command16", Kind::Button, "Frame3", 600, 2640, 1215, 495, "Print"},
    {"Frame4", Kind::Frame, nullptr, 12360, 6360, 2175, 1695, "State"},
    {"Text38", Kind::Text, nullptr, 12600, 6600, 1695, 270, "COM1"},
    {"Text39", Kind::Text, nullptr, 12600, 6840, 1695, 270, "Com Close"},
    {"Text40", Kind::Text, nullptr, 12600, 7080, 1695, 270, "connection fail"},
    {"Text41", Kind::Text, nullptr, 12600, 7320, 1695, 270, ""},
    {"Text42", Kind::Text, nullptr, 12600, 7560, 1695, 270, ""},
    {"Text32", Kind::Text, nullptr, 4560, 600, 3135, 615, ""},
    {"Frame5", Kind::Frame, nullptr, 960, 1080, 10455, 6975, ""},
    {"Text31", Kind::Text, nullptr, 1200, 1320, 9975, 375, ""},
    {"Text1", Kind::Text, nullptr, 1200, 1800, 4695, 375, ""},
    {"Text2", Kind::Text, nullptr, 1200, 2280, 4695, 375, ""},
    {"Text3", Kind::Text, nullptr, 1200, 2760, 4695, 375, ""},
    {"Text4", Kind::Text, nullptr, 1200, 3240, 4695, 375, ""},
    {"Text5", Kind::Text, nullptr, 1200, 3720, 4695, 375, ""},
    {"Text6", Kind::Text, nullptr, 1200, 4200, 4695, 375, ""},
    {"Text7", Kind::Text, nullptr, 1200, 4680, 4695, 375, ""},
    {"Text8", Kind::Text, nullptr, 1200, 5160, 4695, 375, ""},
    {"Text9", Kind::Text, nullptr, 1200, 5640, 4695, 375, ""},
    {"Text10", Kind::Text, nullptr, 1200, 6120, 4695, 375, ""},
    {"Text11", Kind::Text, nullptr, 1200, 6600, 4695, 375, ""},
    {"Text12", Kind::Text, nullptr, 1200, 7080, 4695, 375, ""},
    {"Text13", Kind::Text, nullptr, 1200, 7560, 4695, 390, ""},
    {"Text14", Kind::Text, nullptr, 6480, 1800, 4695, 375, ""},
    {"Text15", Kind::Text, nullptr, 6480, 2280, 4695, 375, ""},
    {"Text16", Kind::Text, nullptr, 6480, 2760, 4695, 375, ""},
    {"Text17", Kind::Text, nullptr, 6480, 3240, 4695, 375, ""},
    {"Text18", Kind::Text, nullptr, 6480, 3720, 4695, 375, ""},
    {"Text19", Kind::Text, nullptr, 6480, 4200, 4695, 375, ""},
    {"Text20", Kind::Text, nullptr, 6480, 4680, 4695, 375, ""},
    {"Text21", Kind::Text, nullptr, 6480, 5160, 4695, 375, ""},
    {"Text22", Kind::Text, nullptr, 6480, 5640, 4695, 375, ""},
    {"Text23", Kind::Text, nullptr, 6480, 6120, 4695, 375, ""},
    {"Text24", Kind::Text, nullptr, 6480, 6600, 4695, 375, ""},
    {"Text25", Kind::Text, nullptr, 6480, 7080, 4695, 375, ""},
    {"Text26", Kind::Text, nullptr, 6480, 7560, 4695, 375, ""},
    {"Text28", Kind::Text, nullptr, 5762, 1320, 740, 6615, ""},
    {"Picture2", Kind::Picture, nullptr, 720, 2880, 11175, 5655, ""},
    {"Picture1", Kind::Chart, nullptr, 840, 3000, 10935, 5415, ""},
    {"Text37", Kind::Text, "Picture1", 8880, 0, 1815, 270, ""},
    {"Text33", Kind::Text, nullptr, 1080, 8280, 540, 270, ""},
    {"Text34", Kind::Text, nullptr, 1560, 8280, 1095, 255, ""},
    {"Frame7", Kind::Frame, nullptr, 840, 8520, 2775, 1335, ""},
    {"Label1", Kind::Label, "Frame7", 120, 360, 2175, 255, ""},
    {"Label2", Kind::Label, "Frame7", 120, 600, 2175, 255, ""},
    {"Label5", Kind::Label, "Frame7", 120, 840, 2535, 255, ""},
    {"Command12", Kind::Button, nullptr, 480, 8880, 975, 495, "Ascend"},
    {"Command13", Kind::Button, nullptr, 1800, 8880, 975, 495, "Descend"},
    {"Command7", Kind::Button, nullptr, 3240, 8880, 975, 495, "Restore"},
    {"Frame6", Kind::Frame, nullptr, 4920, 8520, 6495, 1335, ""},
    {"Shape2", Kind::Rect, "Frame6", 240, 240, 1335, 975, ""},
    {"Shape1", Kind::Circle, "Frame6", 240, 360, 1335, 735, ""},
    {"Command3", Kind::Button, nullptr, 5760, 8880, 1215, 495, "Up"},
    {"Command4", Kind::Button, nullptr, 7200, 8880, 1215, 495, "Down"},
    {"Text36", Kind::Text, nullptr, 6600, 9000, 735, 375, "Alarm:"},
    {"Text35", Kind::Text, nullptr, 7440, 8760, 1575, 735, ""},
    {"Option4", Kind::Option, nullptr, 9480, 8640, 615, 375, "mA"},
    {"Option3", Kind::Option, nullptr, 9480, 9120, 495, 375, "A"},
    {"Command6", Kind::Button, nullptr, 10320, 8760, 975, 615, "Lock"},
    {"Label7", Kind::Label, nullptr, 8520, 9120, 495, 255, "Go to"},
    {"Text27", Kind::Text, nullptr, 9000, 9000, 855, 375, "1"},
    {"Label8", Kind::Label, nullptr, 9960, 9120, 495, 255, "Page"},
    {"Command8", Kind::Button, nullptr, 10680, 8880, 1215, 495, "Ensure"},
    {"Label4", Kind::Label, nullptr, 0, 10080, 15180, 315, ""},
};

// Boxes whose caret is hidden when they take the focus. The Go-to entry keeps its caret.
bool caret_hidden(int n) { return (n >= 1 && n <= 26) || (n >= 28 && n <= 32) || (n >= 37 && n <= 42); }

bool read_only(int n) { return n != 27 && n != 34 && n != 35 && n != 36; }

bool no_tab_stop(int n) { return n == 30 || n == 32 || n == 34 || n == 36; }

// A style whose text cursor has no width: the caret of such a box is never drawn.
class CaretlessStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_TextCursorWidth) return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// Holds the client area: as large as it, smaller (with scroll bars) only when the screen is.
class ClientScroll : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override { return widget() ? widget()->size() : QScrollArea::sizeHint(); }
};

} // namespace

void Form1::create_controls() {
    auto* scroller = new ClientScroll(this);
    scroller->setObjectName("clientScroll");
    scroller->setFrameShape(QFrame::NoFrame);
    client = new QWidget;
    client->setObjectName("client");
    client->setFixedSize(twips(15240), twips(10380));
    // Every control inherits the designed font, whatever font the desktop sets for its kind.
    client->setFont(designed_font());
    scroller->setWidget(client);
    setCentralWidget(scroller);
    // A child of the window, so it outlives the boxes that use it.
    caretless_style_ = new CaretlessStyle;
    caretless_style_->setParent(this);

    for (const Design& d : kDesign) {
        QWidget* parent = d.parent ? client->findChild<QWidget*>(d.parent) : client;
        QWidget* w = nullptr;
        switch (d.kind) {
        case Kind::Text:
            // The live reading's box draws its large characters from images.
            w = std::strcmp(d.name, "Text29") == 0 ? new ReadingBox(parent) : new QLineEdit(parent);
            break;
        case Kind::Button: w = new QPushButton(parent); break;
        case Kind::Label: w = new QLabel(parent); break;
        case Kind::Option: w = new QRadioButton(parent); break;
        case Kind::Frame: w = new QGroupBox(parent); break;
        case Kind::Picture: w = new QFrame(parent); break;
        case Kind::Chart: w = new ChartWidget(parent); break;
        case Kind::Rect: w = new ShapeWidget(ShapeWidget::Kind::Rectangle, parent); break;
        case Kind::Circle: w = new ShapeWidget(ShapeWidget::Kind::Circle, parent); break;
        case Kind::Combo: w = new QComboBox(parent); break;
        }
        w->setObjectName(QString::fromLatin1(d.name));
    }

    auto find = [this](const char* name) { return client->findChild<QWidget*>(QString::fromLatin1(name)); };
    for (int n = 1; n <= 42; ++n) {
        auto* box = static_cast<QLineEdit*>(find(QStringLiteral("Text%1").arg(n).toLatin1().constData()));
        text_boxes_[static_cast<size_t>(n)] = box;
        box->setReadOnly(read_only(n));
        if (no_tab_stop(n)) box->setFocusPolicy(Qt::ClickFocus);
        box->installEventFilter(this);
        // Every text the program writes shows from its first character (setText leaves the cursor
        // at the end, which scrolls a long text's start out of view). The user's typing stays as it is:
        // textEdited comes just before its textChanged.
        connect(box, &QLineEdit::textEdited, this, [this, n] { typed_[static_cast<size_t>(n)] = true; });
        connect(box, &QLineEdit::textChanged, this, [this, n] {
            if (std::exchange(typed_[static_cast<size_t>(n)], false)) return;
            show_start(n);
        });
        // The operator's keys and mouse move the cursor as in any box, read-only or not (End shows
        // the end of a long page status). Anything else that moves it (the program writing the same
        // text again moves it to the end, without a textChanged) puts it back where it was left.
        connect(box, &QLineEdit::cursorPositionChanged, this, [this, n, box](int, int now) {
            int& kept = kept_cursor_[static_cast<size_t>(n)];
            if (box == operator_box_ || (!box->isReadOnly() && box->hasFocus())) {
                kept = now;
                return;
            }
            if (now != kept && !box->hasSelectedText()) box->setCursorPosition(std::min(kept, int(box->text().size())));
        });
    }
    Text1 = text_box(1), Text2 = text_box(2), Text3 = text_box(3), Text4 = text_box(4), Text5 = text_box(5);
    Text6 = text_box(6), Text7 = text_box(7), Text8 = text_box(8), Text9 = text_box(9), Text10 = text_box(10);
    Text11 = text_box(11), Text12 = text_box(12), Text13 = text_box(13), Text14 = text_box(14);
    Text15 = text_box(15), Text16 = text_box(16), Text17 = text_box(17), Text18 = text_box(18);
    Text19 = text_box(19), Text20 = text_box(20), Text21 = text_box(21), Text22 = text_box(22);
    Text23 = text_box(23), Text24 = text_box(24), Text25 = text_box(25), Text26 = text_box(26);
    Text27 = text_box(27), Text28 = text_box(28), Text29 = text_box(29), Text30 = text_box(30);
    Text31 = text_box(31), Text32 = text_box(32), Text33 = text_box(33), Text34 = text_box(34);
    Text35 = text_box(35), Text36 = text_box(36), Text37 = text_box(37), Text38 = text_box(38);
    Text39 = text_box(39), Text40 = text_box(40), Text41 = text_box(41), Text42 = text_box(42);

    auto button = [&](const char* n) { return static_cast<QPushButton*>(find(n)); };
    Command1 = button("Command1"), Command2 = button("Command2"), Command3 = button("Command3");
    Command4 = button("Command4"), Command5 = button("Command5"), Command6 = button("Command6");
    Command7 = button("Command7"), Command8 = button("Command8"), Command9 = button("Command9");
    Command11 = button("Command11"), Command12 = button("Command12"), Command13 = button("Command13");
    Command15 = button("Command15"), Command16 = button("Command16");
    auto label = [&](const char* n) { return static_cast<QLabel*>(find(n)); };
    Label1 = label("Label1"), Label2 = label("Label2"), Label3 = label("Label3"), Label4 = label("Label4");
    Label5 = label("Label5"), Label7 = label("Label7"), Label8 = label("Label8");
    auto option = [&](const char* n) { return static_cast<QRadioButton*>(find(n)); };
    Option1 = option("Option1"), Option2 = option("Option2"), Option3 = option("Option3");
    Option4 = option("Option4");
    // Option3 and Option4 sit on the client area, whose automatic radio group would also take in the
    // options inside Frame1 (it searches all descendants): a group of their own keeps the pair exclusive.
    auto* alarm_units = new QButtonGroup(this);
    alarm_units->addButton(Option3);
    alarm_units->addButton(Option4);
    auto frame = [&](const char* n) { return static_cast<QGroupBox*>(find(n)); };
    Frame1 = frame("Frame1"), Frame2 = frame("Frame2"), Frame3 = frame("Frame3"), Frame4 = frame("Frame4");
    Frame5 = frame("Frame5"), Frame6 = frame("Frame6"), Frame7 = frame("Frame7");
    Picture1 = static_cast<ChartWidget*>(find("Picture1"));
    Picture2 = static_cast<QFrame*>(find("Picture2"));
    Shape1 = static_cast<ShapeWidget*>(find("Shape1"));
    Shape2 = static_cast<ShapeWidget*>(find("Shape2"));
    Combo1 = static_cast<QComboBox*>(find("Combo1"));

    // Fixed looks that no handler changes.
    Text29->setAlignment(Qt::AlignCenter);
    Text32->setAlignment(Qt::AlignCenter);
    Text27->setAlignment(Qt::AlignCenter);
    Text37->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Text35->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Text35->setMaxLength(5);
    Text32->setFont(designed_font(21.75, true));
    Text36->setFont(designed_font(12, false));
    Text35->setFont(designed_font(26.25, false));
    // A fixed colour gets a fixed partner; the system colours of the design follow the palette.
    const QPalette system = palette();
    set_colours(Text32, QColor(64, 64, 64), kPlainBase);
    set_colours(Text28, QColor(), system.color(QPalette::ToolTipBase));
    set_colours(Picture2, QColor(), system.color(QPalette::HighlightedText));
    set_colours(Text37, QColor(0, 255, 0), kPlainWindowText);
    set_colours(Text33, kPlainText, QColor(0, 0, 255));
    Shape1->setFilled(true);
    Label4->setCursor(Qt::PointingHandCursor);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setToolTip(QStringLiteral("选择COM"));
    Command3->setToolTip(QStringLiteral("阅读上一页"));
    Command4->setToolTip(QStringLiteral("阅读下一页"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer2 = new QTimer(this);
    Timer2->setObjectName("Timer2");
    Timer3 = new QTimer(this);
    Timer3->setObjectName("Timer3");
}

void Form1::reset_controls() {
    for (const Design& d : kDesign) {
        QWidget* w = client->findChild<QWidget*>(QString::fromLatin1(d.name));
        w->setGeometry(twips(d.left), twips(d.top), twips(d.width), twips(d.height));
        w->setEnabled(true);
        w->setVisible(true);
        const QString caption = QString::fromUtf8(d.caption);
        if (auto* t = qobject_cast<QLineEdit*>(w)) t->setText(caption);
        else if (auto* b = qobject_cast<QPushButton*>(w)) b->setText(caption);
        else if (auto* l = qobject_cast<QLabel*>(w)) l->setText(caption);
        else if (auto* o = qobject_cast<QRadioButton*>(w)) o->setText(caption);
        else if (auto* g = qobject_cast<QGroupBox*>(w)) g->setTitle(caption);
    }
    Text29->setFont(designed_font(72, true, "新宋体"));
    set_colours(Text29, QColor(0, 128, 0), kPlainButtonFace);
    for (int n = 1; n <= 26; ++n) set_colours(text_box(n), QColor(), palette().color(QPalette::Base));
    for (int n = 1; n <= 42; ++n) {
        if (caret_hidden(n)) text_box(n)->setStyle(style()); // the caret shows until the box takes the focus
    }

    // Option buttons: clear the pair first (an exclusive group refuses to clear its checked one).
    for (QRadioButton* o : {Option1, Option2, Option3, Option4}) {
        o->setAutoExclusive(false);
        o->setChecked(false);
        o->setAutoExclusive(true);
    }
    Option4->setChecked(true);

    Combo1->clear();
    Combo1->addItem(QStringLiteral("1 "));
    for (int n = 2; n <= 16; ++n) Combo1->addItem(QString::number(n));
    Combo1->setEditText(QStringLiteral("1"));

    Shape1->setColour(QColor(0, 192, 0));

    Timer1->stop();
    Timer1->setInterval(30);
    Timer2->stop();
    Timer2->setInterval(50);
    Timer3->stop();
    Timer3->setInterval(300);
}

void Form1::show_start(int n) {
    kept_cursor_[static_cast<size_t>(n)] = 0;
    show_text_start(text_box(n));
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label4 && event->type() == QEvent::MouseButtonRelease) {
        if (is_left_click(Label4, event)) Label4_Click();
        return true;
    }
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress) {
        // Enter or Return on a focused button clicks it.
        auto* button = qobject_cast<QPushButton*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
            if (!key->isAutoRepeat()) button->click();
            return true;
        }
    }
    const bool operator_input = type == QEvent::KeyPress || type == QEvent::MouseButtonPress ||
                                type == QEvent::MouseMove || type == QEvent::MouseButtonRelease ||
                                type == QEvent::MouseButtonDblClick || type == QEvent::InputMethod;
    if (operator_input || type == QEvent::FocusIn || type == QEvent::FocusOut) {
        auto* box = qobject_cast<QLineEdit*>(watched);
        const auto at = std::find(text_boxes_.begin() + 1, text_boxes_.end(), box);
        if (box && at != text_boxes_.end() && operator_input) {
            // Handled here so that the box knows the cursor moves at the operator's hand; an event
            // the box leaves goes on to its parent as usual.
            QLineEdit* const outer = std::exchange(operator_box_, box);
            static_cast<QObject*>(box)->event(event);
            operator_box_ = outer;
            return event->isAccepted();
        }
        if (box && at != text_boxes_.end()) {
            // Hides the caret of a box taking the focus; nothing shows it again.
            if (type == QEvent::FocusIn && caret_hidden(static_cast<int>(at - text_boxes_.begin())))
                box->setStyle(caretless_style_);
            // The box's own handling first (a Tab into it selects all and puts the cursor at the end),
            // then back to the start of its text.
            static_cast<QObject*>(box)->event(event);
            show_start(static_cast<int>(at - text_boxes_.begin()));
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace tessaro
