// Program entry: command line, fonts, the splash window, then the main window.
#include "form1.h"
#include "form2.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QScreen>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

// The designed faces are Chinese serif fonts whose Latin letters are half-width and fixed-pitch;
// the table lines align by blanks, so map them to such a face explicitly.
void substitute_fonts() {
    const QStringList faces = {QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("Noto Sans Mono CJK TC"),
                               QStringLiteral("WenQuanYi Zen Hei Mono"), QStringLiteral("DejaVu Sans Mono")};
    for (const char* name : {"新宋体", "宋体", "Song typeface"}) QFont::insertSubstitutions(QString::fromUtf8(name), faces);
}

} // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--help" || arg == "-h") {
            std::printf("Usage: tessaro [--help | --version]\n"
                        "Tessaro talks to a current clamp meter on a serial port: live readings,\n"
                        "history download, reports and printing. It takes no other arguments.\n"
                        "Port n is ~/.config/tessaro/ports/comN (a symlink to the device) when present.\n");
            return 0;
        }
        if (arg == "--version" || arg == "-v") {
            std::printf("tessaro %s\n", TESSARO_VERSION);
            return 0;
        }
        std::fprintf(stderr, "tessaro: unknown argument '%s' (try --help)\n", argv[i]);
        return 2;
    }

    QApplication app(argc, argv);
    Q_INIT_RESOURCE(resources); // the pictures live in a static library
    QApplication::setApplicationName(QStringLiteral("tessaro"));
    QApplication::setApplicationVersion(QStringLiteral(TESSARO_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tessaro.svg")));
    substitute_fonts();
    QFont base(QString::fromUtf8("宋体"));
    base.setPointSizeF(9);
    QApplication::setFont(base);

    std::unique_ptr<tessaro::Form1> main_window;
    auto* splash = new tessaro::Form2;
    splash->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(splash, &tessaro::Form2::entered, [&] {
        main_window = std::make_unique<tessaro::Form1>();
        main_window->show_loaded();
        splash->close();
    });
    splash->move(splash->screen()->availableGeometry().center() - splash->rect().center());
    splash->show();
    const int rc = QApplication::exec();
    main_window.reset();
    return rc;
}
