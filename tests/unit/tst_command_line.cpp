// The command line's decisions: Qt's own options and "--" accepted, anything else refused.
#include "app/command_line.h"
#include "link/live_log.h"
#include "records/records_csv.h"

#include <QTest>

#include <string>
#include <vector>

using tessaro::CommandLine;
using tessaro::parse_command_line;

Q_DECLARE_METATYPE(CommandLine::Action)

namespace {

std::vector<std::string> words(const QString& line) {
    std::vector<std::string> out;
    for (const QString& w : line.split(QLatin1Char(' '), Qt::SkipEmptyParts)) out.push_back(w.toStdString());
    return out;
}

} // namespace

class TstCommandLine : public QObject {
    Q_OBJECT
private slots:
    void decides_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<CommandLine::Action>("action");
        using A = CommandLine::Action;
        QTest::newRow("nothing") << "" << A::Run;
        QTest::newRow("help") << "--help" << A::Help;
        QTest::newRow("-h") << "-h" << A::Help;
        QTest::newRow("version") << "--version" << A::Version;
        QTest::newRow("help wins over version") << "--version --help" << A::Help;
        QTest::newRow("platform") << "-platform offscreen" << A::Run;
        QTest::newRow("two dashes") << "--platform offscreen --style fusion" << A::Run;
        QTest::newRow("style joined") << "-style=fusion" << A::Run;
        QTest::newRow("x11 options") << "-display :0 -name tessaro -geometry 800x600 -title T" << A::Run;
        QTest::newRow("flags") << "-reverse -widgetcount -nograb" << A::Run;
        QTest::newRow("value that looks like an option") << "-stylesheet -reverse" << A::Run;
        QTest::newRow("end of options") << "-reverse --" << A::Run;
        QTest::newRow("bare --") << "--" << A::Run;
        QTest::newRow("unknown long") << "--bogus" << A::Refuse;
        QTest::newRow("unknown short") << "-x" << A::Refuse;
        QTest::newRow("file argument") << "records.txt" << A::Refuse;
        QTest::newRow("argument after --") << "-- -platform" << A::Refuse;
        QTest::newRow("value missing") << "-platform" << A::Refuse;
        QTest::newRow("joined form of a flag") << "-reverse=1" << A::Refuse;
        QTest::newRow("prefix of an option") << "-plat offscreen" << A::Refuse;
        QTest::newRow("lone dash") << "-" << A::Refuse;
        QTest::newRow("three dashes") << "---platform xcb" << A::Refuse;
        QTest::newRow("refusal after help") << "--help --bogus" << A::Refuse;
        QTest::newRow("recording") << "--recording week.csv -platform xcb" << A::Run;
        QTest::newRow("recording joined") << "--recording=week.csv" << A::Run;
        QTest::newRow("recording without a file") << "--recording" << A::Refuse;
        QTest::newRow("recording with an empty name") << "--recording=" << A::Refuse;
    }
    void decides() {
        // Catches Qt's own options refused (or a stray word accepted and silently ignored).
        QFETCH(QString, line);
        QFETCH(CommandLine::Action, action);
        const CommandLine got = parse_command_line(words(line));
        QCOMPARE(got.action, action);
        QCOMPARE(got.problem.empty(), action != CommandLine::Action::Refuse);
    }

    void recordingNamesTheFile() {
        // Catches --recording taking the wrong word, or swallowing a Qt option as its file.
        QCOMPARE(parse_command_line({"--recording", "a b.csv", "-reverse"}).recording, std::string("a b.csv"));
        QCOMPARE(parse_command_line({"--recording=x.jsonl"}).recording, std::string("x.jsonl"));
        QVERIFY(parse_command_line({"-reverse"}).recording.empty());
    }

    void refusalNamesTheArgument() {
        // Catches a refusal that does not say which argument was wrong.
        QVERIFY(parse_command_line({"-reverse", "--frobnicate"}).problem.find("--frobnicate") != std::string::npos);
        QVERIFY(parse_command_line({"-style"}).problem.find("needs a value") != std::string::npos);
    }

    void helpNamesTheFolderAndTheUsage() {
        // Catches a help text with a fixed folder instead of the one in use.
        const std::string help = tessaro::help_text("/tmp/cfg/tessaro");
        QVERIFY(help.rfind(tessaro::usage_line(), 0) == 0);
        QVERIFY(help.find("/tmp/cfg/tessaro") != std::string::npos);
        QVERIFY(help.find("~/.config") == std::string::npos);
    }

    void helpListsTheFileColumns() {
        // Catches column lists in the help that drifted from the records file and live log written.
        const std::string help = tessaro::help_text("/tmp/cfg/tessaro");
        const QByteArray records_header = tessaro::records_csv(std::vector<tessaro::FileRecord>{}).chopped(2);
        QVERIFY(help.find(records_header.toStdString()) != std::string::npos);
        QVERIFY(help.find(tessaro::live_log_header().chopped(2).toStdString()) != std::string::npos);
    }
};

QTEST_APPLESS_MAIN(TstCommandLine)
#include "tst_command_line.moc"
