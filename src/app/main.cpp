// Program entry: command line, end signals, fonts, the splash window, then the main window.
#include "command_line.h"
#include "end_signals.h"
#include "form1.h"
#include "font_check.h"
#include "form2.h"
#include "platform/paths.h"
#include "reader_messages.h"
#include "trend/trend_window.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QPointer>
#include <QScreen>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace tessaro;

namespace {

// The designed faces are Chinese serif fonts whose Latin letters are half-width and fixed-pitch;
// the table lines align by blanks, so map them to such a face explicitly.
void substitute_fonts() {
    const QStringList faces = {QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("Noto Sans Mono CJK TC"),
                               QStringLiteral("WenQuanYi Micro Hei Mono"), QStringLiteral("WenQuanYi Zen Hei Mono"),
                               QStringLiteral("DejaVu Sans Mono")};
    for (const char* name : {"新宋体", "宋体", "Song typeface"}) QFont::insertSubstitutions(QString::fromUtf8(name), faces);
}

} // namespace

int main(int argc, char* argv[]) {
    const CommandLine line = parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
    case CommandLine::Action::Help:
        std::printf("%s", help_text(paths::config_dir().toStdString()).c_str());
        return 0;
    case CommandLine::Action::Version: std::printf("tessaro %s\n", TESSARO_VERSION); return 0;
    case CommandLine::Action::Refuse:
        std::fprintf(stderr, "tessaro: %s\n%s\n", line.problem.c_str(), usage_line().c_str());
        return 2;
    case CommandLine::Action::Run: break;
    }

    QApplication app(argc, argv); // takes Qt's own options out of argv
    filter_stale_reader_messages();
    // Under a file size limit (ulimit -f) a write past it must fail with EFBIG and be reported like
    // a full disk, not kill the program with its port, lock file and live log left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    std::unique_ptr<Form1> main_window;

    // A termination request ends the program as Exit does: port closed, its lock file removed.
    EndSignals end_signals;
    QObject::connect(&end_signals, &EndSignals::received, [&main_window] {
        if (main_window)
            main_window->exit_program();
        else
            QCoreApplication::exit(0);
    });
    Q_INIT_RESOURCE(resources); // the pictures live in a static library
    QApplication::setApplicationName(QStringLiteral("tessaro"));
    QApplication::setApplicationVersion(QStringLiteral(TESSARO_VERSION));
    // Docks and task bars match the window to its menu entry by this id.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.tessaro.tessaro"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tessaro.svg")));
    substitute_fonts();
    // Once, at start: the window works without such a font, but its Chinese texts are boxes.
    if (const QString warning = missing_cjk_font_warning(); !warning.isEmpty())
        std::fprintf(stderr, "%s\n", warning.toLocal8Bit().constData());
    QFont base(QString::fromUtf8("宋体"));
    base.setPointSizeF(9);
    QApplication::setFont(base);

    // --recording: the trend window opens beside the splash; the main window comes as always.
    QPointer<QWidget> trend_window;
    if (!line.recording.empty())
        trend_window = trend::TrendWindow::open_recording(QString::fromLocal8Bit(line.recording.c_str()));

    auto* splash = new Form2;
    splash->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(splash, &Form2::entered, [&] {
        main_window = std::make_unique<Form1>();
        main_window->show_loaded();
        splash->close();
        main_window->activateWindow(); // the keyboard goes on where the splash left it
    });
    splash->move(splash->screen()->availableGeometry().center() - splash->rect().center());
    splash->show();
    splash->activateWindow();
    const int rc = QApplication::exec();
    main_window.reset();
    delete trend_window;
    return rc;
}
