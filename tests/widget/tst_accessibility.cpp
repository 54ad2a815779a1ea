// What a screen reader meets: the splash window and its pictures, the port box's name, and the
// Ports window's table walked cell by cell without a flood of warnings.
#include "app/form1.h"
#include "app/form2.h"
#include "app/ports_window.h"
#include "platform/paths.h"
#include "support/form_fixture.h"
#include "support/pty_pair.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>

using namespace tessaro;

namespace {

QStringList g_warnings;
QtMessageHandler g_previous = nullptr;

void keep_warnings(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    // The offscreen platform's own remark about size hints is no fault of the program.
    if (type != QtDebugMsg && type != QtInfoMsg && !text.contains(QLatin1String("propagateSizeHints"))) g_warnings << text;
    g_previous(type, context, text);
}

// Visits every interface below `iface` as a screen reader's walk does, reading what it reads.
int walk(QAccessibleInterface* iface, int depth = 0) {
    if (!iface || depth > 8) return 0;
    int seen = 1;
    (void)iface->text(QAccessible::Name);
    (void)iface->text(QAccessible::Description);
    (void)iface->role();
    (void)iface->state();
    (void)iface->rect();
    if (QAccessibleTableInterface* table = iface->tableInterface()) {
        for (int r = 0; r < table->rowCount(); ++r)
            for (int c = 0; c < table->columnCount(); ++c)
                if (QAccessibleInterface* cell = table->cellAt(r, c)) {
                    (void)cell->text(QAccessible::Name);
                    if (QAccessibleTableCellInterface* ci = cell->tableCellInterface()) {
                        (void)ci->columnHeaderCells();
                        (void)ci->rowHeaderCells();
                    }
                }
        (void)table->selectedCells();
    }
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        if (child && child->parent() != iface) continue; // no cycles
        seen += walk(child, depth + 1);
    }
    return seen;
}

// A screen reader's side of the accessibility events: it looks at the object each one names, at
// once and again later (a reader in another process lags behind the program).
QList<QPair<QObject*, int>> g_events;
void read_event(QAccessibleEvent* event) {
    if (QAccessibleInterface* iface = event->accessibleInterface()) {
        (void)iface->text(QAccessible::Name);
        (void)iface->state();
    }
    g_events.append({event->object(), event->child()});
}
void read_events_late() {
    for (const auto& [object, child] : std::as_const(g_events)) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
        if (iface && child >= 0) (void)iface->child(child);
    }
    g_events.clear();
}

// While one lives, a screen reader listens: the program's changes go out as accessibility events.
struct ListeningReader {
    ListeningReader() {
        QAccessible::installUpdateHandler(read_event);
        QAccessible::setActive(true);
    }
    ~ListeningReader() {
        QAccessible::setActive(false);
        QAccessible::installUpdateHandler(nullptr);
    }
    ListeningReader(const ListeningReader&) = delete;
    ListeningReader& operator=(const ListeningReader&) = delete;
};

} // namespace

class TstAccessibility : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { g_previous = qInstallMessageHandler(keep_warnings); }
    void cleanupTestCase() { qInstallMessageHandler(g_previous); }
    void init() { g_warnings.clear(); }

    void splashIsNamed() {
        // Catches a splash that a screen reader announces as an unnamed window of unnamed pictures.
        Form2 splash;
        splash.show();
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&splash);
        QVERIFY(window);
        QVERIFY(!window->text(QAccessible::Name).isEmpty());
        QVERIFY(window->text(QAccessible::Name) != QStringLiteral("Form2"));
        QVERIFY2(window->text(QAccessible::Description).contains(QStringLiteral("Enter")),
                 qPrintable(window->text(QAccessible::Description)));
        for (const char* name : {"background", "Picture1", "Picture2", "Image1", "Image2"}) {
            auto* w = splash.findChild<QWidget*>(QString::fromLatin1(name));
            QVERIFY(w);
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            QVERIFY2(a && !a->text(QAccessible::Name).isEmpty(), name);
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(splash.findChild<QWidget*>("Image2"))->text(QAccessible::Name),
                 QStringLiteral("Web page"));
    }

    void portBoxHasItsLabel() {
        // Catches a port box that a screen reader calls by its text ("3") instead of its label.
        test::FormFixture f;
        Form1& form = *f.form;
        form.Combo1->setCurrentIndex(2);
        QAccessibleInterface* combo = QAccessible::queryAccessibleInterface(form.Combo1);
        QVERIFY(combo);
        const auto labels = combo->relations(QAccessible::Label);
        QVERIFY(!labels.isEmpty());
        QCOMPARE(labels.constFirst().first->text(QAccessible::Name), QStringLiteral("com:"));
        // The box the keys go to carries the name itself.
        QAccessibleInterface* edit = QAccessible::queryAccessibleInterface(form.Combo1->lineEdit());
        QCOMPARE(edit->text(QAccessible::Name), QStringLiteral("Port number"));
        QCOMPARE(edit->text(QAccessible::Value), QStringLiteral("3"));
    }

    void portsTableWalksCleanly() {
        // Catches "QAccessibleTable::child: Invalid index" flooding standard error while a screen
        // reader walks the Ports window's table.
        test::TempXdg xdg;
        test::PtyPair a, b;
        QVERIFY(a.ok() && b.ok());
        QVERIFY(xdg.mapPort(1, a.slavePath()));
        QVERIFY(xdg.mapPort(2, b.slavePath()));
        // A screen reader is listening: the table's changes go out as accessibility events.
        ListeningReader reader;
        PortsWindow window([] { return PortsWindow::LinkView{}; });
        window.show();
        auto* table = window.findChild<QTableWidget*>("portsTable");
        QVERIFY(table);
        QVERIFY(table->rowCount() >= 2);
        const int seen = walk(QAccessible::queryAccessibleInterface(&window));
        QVERIFY(seen > 2 * table->columnCount());
        table->selectRow(1);
        // Devices going away and coming back while the reader holds the table's cells.
        xdg.unmapPort(2);
        window.refresh();
        read_events_late();
        walk(QAccessible::queryAccessibleInterface(&window));
        QVERIFY(xdg.mapPort(2, b.slavePath()));
        window.refresh();
        table->selectRow(0);
        read_events_late();
        walk(QAccessible::queryAccessibleInterface(&window));
        QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
    }

    void portsTableFollowedByKeyboardAndLaggingReader() {
        // Catches the same flood when the reader follows the keyboard focus through the table, and
        // when it asks for cells by the numbers it counted before devices went away (a reader in
        // another process lags behind the table); also an empty table and one filling up.
        test::TempXdg xdg;
        test::PtyPair a, b;
        QVERIFY(a.ok() && b.ok());
        ListeningReader reader;
        PortsWindow window([] { return PortsWindow::LinkView{}; });
        window.show();
        QApplication::setActiveWindow(&window);
        auto* table = window.findChild<QTableWidget*>("portsTable");
        QVERIFY(table);
        table->setFocus();
        QTRY_VERIFY(table->hasFocus());
        QCOMPARE(table->rowCount(), 0);
        walk(QAccessible::queryAccessibleInterface(&window));
        read_events_late();

        QVERIFY(xdg.mapPort(1, a.slavePath()));
        QVERIFY(xdg.mapPort(2, b.slavePath()));
        window.refresh();
        QVERIFY(table->rowCount() >= 2);
        walk(QAccessible::queryAccessibleInterface(&window));
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_End, Qt::Key_Home})
            QTest::keyClick(table, key);
        read_events_late();

        QAccessibleInterface* cells = QAccessible::queryAccessibleInterface(table);
        const int counted = cells->childCount();
        xdg.unmapPort(2);
        window.refresh();
        QVERIFY(cells->childCount() < counted);
        for (int i = 0; i < counted; ++i)
            if (QAccessibleInterface* cell = cells->child(i)) (void)cell->text(QAccessible::Name);
        read_events_late();
        walk(QAccessible::queryAccessibleInterface(&window));

        xdg.unmapPort(1);
        window.refresh();
        read_events_late();
        walk(QAccessible::queryAccessibleInterface(&window));
        QVERIFY(xdg.mapPort(1, a.slavePath()));
        window.refresh();
        QTest::keyClick(table, Qt::Key_Up);
        read_events_late();
        walk(QAccessible::queryAccessibleInterface(&window));
        QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TstAccessibility)
#include "tst_accessibility.moc"
