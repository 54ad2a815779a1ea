#include "form3.h"

#include "output/print_options.h"
#include "platform/designed_font.h"
#include "platform/user_seam.h"
#include "records/number_text.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

namespace tessaro {

namespace {

constexpr double kTwipsPerPixel = 15.0;
constexpr int kClientWidth = 8160;
constexpr int kClientHeight = 4530;

int px(int twips) { return static_cast<int>(nearest(twips / kTwipsPerPixel)); }

template <typename W>
W* place(W* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(px(left), px(top), px(width), px(height));
    return widget;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int l, int t, int w, int h) {
    return place(new QLabel(text, parent), name, l, t, w, h);
}

QLineEdit* sheet_box(QWidget* parent, const char* name, int l, int t, int w, int h) {
    auto* box = place(new QLineEdit(parent), name, l, t, w, h);
    box->setAlignment(Qt::AlignRight);
    return box;
}

} // namespace

Form3::Form3(int ji_ge, QWidget* parent) : QDialog(parent), ji_ge_(ji_ge) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("打印选项"));
    // The main window is hidden while this one is open: closing it must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(px(kClientWidth), px(kClientHeight));
    // The controls keep the designed font whatever font the desktop sets for their kind.
    setFont(designed_font());
    build_controls();
    Label1->setText(records_caption(ji_ge_));
    Label3->setText(sheets_caption(ji_ge_));
    connect(Command2, &QPushButton::clicked, this, &Form3::on_print);
    connect(Command3, &QPushButton::clicked, this, &Form3::on_cancel);
}

void Form3::build_controls() {
    Frame1 = place(new QGroupBox(QStringLiteral("打印信息"), this), "Frame1", 360, 840, 1695, 1935);
    Label1 = label(Frame1, "Label1", QStringLiteral("共有:2000组"), 120, 360, 1215, 375);
    Label2 = label(Frame1, "Label2", QStringLiteral("开始页数:1"), 120, 720, 1095, 375);
    Label3 = label(Frame1, "Label3", QStringLiteral("结束页数:700"), 120, 1080, 1215, 375);
    Label4 = label(Frame1, "Label4", QStringLiteral("每页有:156组"), 120, 1440, 1215, 375);

    Frame2 = place(new QGroupBox(QStringLiteral("选项"), this), "Frame2", 2760, 840, 4575, 1935);
    Option1 = place(new QRadioButton(QStringLiteral("自定义"), Frame2), "Option1", 240, 360, 855, 375);
    Label5 = label(Frame2, "Label5", QStringLiteral("从"), 1320, 480, 375, 255);
    Text1 = sheet_box(Frame2, "Text1", 1560, 360, 735, 375);
    Label6 = label(Frame2, "Label6", QStringLiteral("到"), 2520, 480, 375, 255);
    Text2 = sheet_box(Frame2, "Text2", 2880, 360, 855, 375);
    Label7 = label(Frame2, "Label7", QStringLiteral("页"), 3840, 480, 375, 255);
    Option2 = place(new QRadioButton(QStringLiteral("全部"), Frame2), "Option2", 240, 1080, 975, 495);
    Option2->setChecked(true);

    Command2 = place(new QPushButton(QStringLiteral("打  印"), this), "Command2", 1320, 3600, 1095, 495);
    Command3 = place(new QPushButton(QStringLiteral("取  消"), this), "Command3", 5160, 3600, 1095, 495);
    Command2->setAutoDefault(false);
    Command3->setAutoDefault(false);

    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Option1);
    setTabOrder(Option1, Option2);
    setTabOrder(Option2, Text1);
    setTabOrder(Text1, Text2);
}

void Form3::on_print() {
    const PrintAnswer answer =
        validate_print_options(Option1->isChecked(), Text1->text(), Text2->text(), ji_ge_);
    QPointer<Form3> alive(this);
    show_messages(answer);
    if (!alive || answered_ || !answer.closes) return;
    if (answer.corrected_last) Text2->setText(*answer.corrected_last);
    finish(answer.dayinlin, answer.dakai, answer.dajie);
}

void Form3::on_cancel() { finish(kPrintAnswerCancel, 0, 0); }

void Form3::show_messages(const PrintAnswer& answer) {
    QPointer<Form3> alive(this);
    for (const QString& text : answer.messages) {
        if (!alive) return;
        MessageRequest request;
        request.text = text;
        request.title = QStringLiteral("系统提示");
        user_seam().message(this, request);
    }
}

void Form3::reject() { on_cancel(); }

void Form3::closeEvent(QCloseEvent* event) {
    on_cancel();
    event->accept();
}

void Form3::finish(int dayinlin, int dakai, int dajie) {
    if (answered_) return;
    answered_ = true;
    QPointer<Form3> alive(this);
    emit answered(dayinlin, dakai, dajie);
    if (alive) done(dayinlin == kPrintAnswerPrint ? QDialog::Accepted : QDialog::Rejected);
}

} // namespace tessaro
