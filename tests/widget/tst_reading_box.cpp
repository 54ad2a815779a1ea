// The live reading box draws exactly what a QLineEdit draws, from its glyph images where it can.
// Run with the argument "--scale-2" (a ctest entry of its own) it does the same on a ratio-2 screen.
#include "app/form1.h"
#include "app/reading_box.h"
#include "app/window_looks.h"
#include "link/live_reading.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QScreen>
#include <QSet>
#include <QTest>

#include <cstring>
#include <memory>

using namespace tessaro;

namespace {

// The ranges the reading texts have a table for, and one without.
constexpr uint8_t kRanges[] = {48, 49, 50, 51, 64, 65, 66, 7};

// Every text the live readings can show: all counts (bit 15 is dropped by the frame) of every range.
QStringList all_reading_texts() {
    QSet<QString> seen;
    QStringList texts;
    for (uint8_t range : kRanges) {
        for (int count = 0; count <= 0x7FFF; ++count) {
            const QString t = live_reading_text(count, range);
            if (!seen.contains(t)) seen.insert(t), texts << t;
        }
    }
    return texts;
}

// The texts the comparison covers. Comparing a box costs two grabs of outlines filled at 140 points;
// the ~30 thousand distinct texts would take minutes under the sanitizers. What can go wrong is tied
// to a character, its position (which fixes its sub-pixel offset and neighbours) and the text's
// width (which fixes the centring), so the cover is: for every text length, every character at every
// position (a text of that length holding it there), plus random texts of every range, plus the
// overload and empty texts.
QStringList covering_texts(const QStringList& all, int random_count) {
    QSet<QString> picked;
    QSet<QString> seen_slots; // "length position character"
    for (const QString& t : all) {
        bool adds = false;
        for (qsizetype i = 0; i < t.size(); ++i) {
            const QString slot = QStringLiteral("%1 %2 %3").arg(t.size()).arg(i).arg(t[i]);
            if (!seen_slots.contains(slot)) seen_slots.insert(slot), adds = true;
        }
        if (adds || t.isEmpty() || t.contains(QLatin1String("L"))) picked.insert(t);
    }
    QRandomGenerator random(29);
    for (int n = 0; n < random_count; ++n) {
        const int count = int(random.bounded(0x8000));
        const uint8_t range = kRanges[random.bounded(int(std::size(kRanges)))];
        picked.insert(live_reading_text(count, range));
    }
    QStringList texts(picked.begin(), picked.end());
    texts.sort();
    return texts;
}

QFont reading_font() {
    QFont f(QString::fromUtf8("新宋体"));
    f.setPointSizeF(140);
    f.setBold(true);
    return f;
}

// A box dressed as the program dresses Text29.
template <typename Box>
std::unique_ptr<Box> dressed(const QPalette& palette) {
    auto box = std::make_unique<Box>();
    box->setPalette(palette);
    box->setGeometry(0, 0, twips(10095), twips(2655));
    box->setFont(reading_font());
    set_colours(box.get(), QColor(0, 128, 0), kPlainButtonFace);
    box->setAlignment(Qt::AlignCenter);
    box->setReadOnly(true);
    return box;
}

// The program keeps a written text at its start.
void write(QLineEdit* box, const QString& text) {
    box->setText(text);
    box->setCursorPosition(0);
}

QPalette dark_palette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(32, 32, 32));
    p.setColor(QPalette::WindowText, QColor(230, 230, 230));
    p.setColor(QPalette::Base, QColor(20, 20, 20));
    p.setColor(QPalette::Text, QColor(230, 230, 230));
    p.setColor(QPalette::Button, QColor(45, 45, 45));
    p.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    return p;
}

bool scale_two = false;

} // namespace

class TestReadingBox : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readingTextsLookAsInALineEdit_data();
    void readingTextsLookAsInALineEdit();
    void otherTextsAndStatesLookAsInALineEdit_data();
    void otherTextsAndStatesLookAsInALineEdit();
    void mainWindowUsesTheBox();

private:
    QStringList all_;
};

void TestReadingBox::initTestCase() {
    all_ = all_reading_texts();
    if (scale_two) QCOMPARE(qApp->devicePixelRatio(), 2.0);
}

void TestReadingBox::readingTextsLookAsInALineEdit_data() {
    QTest::addColumn<bool>("dark");
    QTest::newRow("program colours") << false;
    QTest::newRow("dark palette") << true;
}

// Every covered reading text, grabbed from the box and from a plain QLineEdit: the same pixels, and
// none of them drawn by QLineEdit's own text drawing.
void TestReadingBox::readingTextsLookAsInALineEdit() {
    QFETCH(bool, dark);
    const QPalette palette = dark ? dark_palette() : QApplication::palette();
    auto box = dressed<ReadingBox>(palette);
    auto plain = dressed<QLineEdit>(palette);
    // The dark run checks the palette's own colours too: the text in the dark palette's colours.
    if (dark) {
        for (QLineEdit* b : {static_cast<QLineEdit*>(box.get()), plain.get()}) {
            QPalette p = b->palette();
            p.setColor(QPalette::Text, dark_palette().color(QPalette::Text));
            p.setColor(QPalette::Base, dark_palette().color(QPalette::Base));
            p.setColor(QPalette::Window, dark_palette().color(QPalette::Base));
            b->setPalette(p);
        }
    }
    const QStringList texts = covering_texts(all_, scale_two ? 40 : dark ? 300 : 2000);
    QElapsedTimer clock;
    clock.start();
    int mismatches = 0;
    QString first_mismatch;
    for (const QString& t : texts) {
        write(box.get(), t);
        write(plain.get(), t);
        const int before = box->fallbackPaints();
        const QImage mine = box->grab().toImage();
        const QImage theirs = plain->grab().toImage();
        if (box->fallbackPaints() != before) QFAIL(qPrintable(QStringLiteral("\"%1\" was not drawn from the images").arg(t)));
        if (mine != theirs && mismatches++ == 0) first_mismatch = t;
    }
    qInfo("%lld texts of %lld compared in %lld ms", qlonglong(texts.size()), qlonglong(all_.size()),
          qlonglong(clock.elapsed()));
    QVERIFY2(mismatches == 0, qPrintable(QStringLiteral("%1 texts differ, the first \"%2\"").arg(mismatches).arg(first_mismatch)));
}

void TestReadingBox::otherTextsAndStatesLookAsInALineEdit_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("from_images");
    QTest::newRow("reading") << QStringLiteral("400.0mA") << QString() << true;
    QTest::newRow("empty") << QString() << QString() << true;
    QTest::newRow("overload") << QStringLiteral("   OL   mA") << QString() << true;
    QTest::newRow("other characters") << QStringLiteral("12.3µA") << QString() << false;
    QTest::newRow("chinese") << QStringLiteral("无读数") << QString() << false;
    QTest::newRow("selected") << QStringLiteral("400.0mA") << QStringLiteral("select") << false;
    QTest::newRow("focused") << QStringLiteral("400.0mA") << QStringLiteral("focus") << true;
    QTest::newRow("editable") << QStringLiteral("400.0mA") << QStringLiteral("editable") << false;
    QTest::newRow("wide, at its start") << QStringLiteral("0123456789") << QString() << true;
    QTest::newRow("wide, at its end") << QStringLiteral("0123456789") << QStringLiteral("end") << true;
    QTest::newRow("left aligned") << QStringLiteral("0.005A") << QStringLiteral("left") << true;
    QTest::newRow("72 points") << QStringLiteral("400.0mA") << QStringLiteral("72") << true;
    QTest::newRow("on screen") << QStringLiteral("400.0mA") << QStringLiteral("window") << true;
    QTest::newRow("disabled") << QStringLiteral("400.0mA") << QStringLiteral("disabled") << true;
}

// Texts and states beside the readings: the same pixels as a QLineEdit whichever way they are drawn,
// and QLineEdit's drawing where the images cannot reproduce it.
void TestReadingBox::otherTextsAndStatesLookAsInALineEdit() {
    QFETCH(QString, text);
    QFETCH(QString, state);
    QFETCH(bool, from_images);
    std::vector<std::unique_ptr<QWidget>> windows; // outlive the boxes they hold
    auto box = dressed<ReadingBox>(QApplication::palette());
    auto plain = dressed<QLineEdit>(QApplication::palette());
    QImage mine, theirs;
    const int cached = box->cachedPaints();
    for (QLineEdit* b : {static_cast<QLineEdit*>(box.get()), plain.get()}) {
        if (state == QLatin1String("72")) {
            QFont f = b->font();
            f.setPointSizeF(72);
            b->setFont(f);
        }
        if (state == QLatin1String("left")) b->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        if (state == QLatin1String("editable")) b->setReadOnly(false);
        if (state == QLatin1String("disabled")) b->setEnabled(false);
        write(b, text);
        if (state == QLatin1String("select")) b->setSelection(1, 3);
        if (state == QLatin1String("end")) b->end(false);
        if (state == QLatin1String("focus")) {
            b->show();
            b->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(b));
            b->setFocus();
            QTRY_VERIFY(b->hasFocus());
        }
        if (state == QLatin1String("window")) {
            // Painted on the screen through the window's backing store, at an offset in the window.
            windows.push_back(std::make_unique<QWidget>());
            QWidget* window = windows.back().get();
            window->resize(b->width() + 20, b->height() + 14);
            b->setParent(window);
            b->move(13, 7);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QCoreApplication::processEvents();
            (b == box.get() ? mine : theirs) = window->screen()->grabWindow(window->winId()).toImage();
            continue;
        }
        (b == box.get() ? mine : theirs) = b->grab().toImage();
    }
    QCOMPARE(box->cachedPaints() > cached, from_images);
    QCOMPARE(mine, theirs);
    // QLineEdit's own offsets follow: a click lands on the same character in both.
    QCoreApplication::processEvents();
    QCOMPARE(box->inputMethodQuery(Qt::ImCursorRectangle).toRect(),
             plain->inputMethodQuery(Qt::ImCursorRectangle).toRect());
}

// The main window's reading box is this box, under its own name, and draws from its images.
void TestReadingBox::mainWindowUsesTheBox() {
    Form1 form;
    auto* box = qobject_cast<ReadingBox*>(form.Text29);
    QVERIFY(box);
    QCOMPARE(box->objectName(), QStringLiteral("Text29"));
    QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("Text29")), form.Text29);
    form.Text29->setText(QStringLiteral("12.34mA"));
    const int fallbacks = box->fallbackPaints();
    box->grab();
    QCOMPARE(box->fallbackPaints(), fallbacks);
}

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scale-2") == 0) {
            scale_two = true;
            for (int j = i; j < argc - 1; ++j) argv[j] = argv[j + 1];
            --argc;
            break;
        }
    }
    if (scale_two) qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestReadingBox test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_reading_box.moc"
