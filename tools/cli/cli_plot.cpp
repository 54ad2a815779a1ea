// tessaro-cli plot: a recording's trend as a PNG or SVG file, drawn by the window's own renderer
// on the offscreen platform (no display needed). Built as the module tessaro-cli-plot.so, which
// plot_module.cpp loads, so that Qt Gui and the SVG generator stay out of the other commands.
#include "cli_common.h"
#include "plot_module.h"

#include "platform/safe_file.h"
#include "trend/recording_file.h"
#include "trend/trend_export.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QRegularExpression>

#include <optional>
#include <system_error>
#include <thread>

namespace tessaro::cli {
namespace {

const QString kCommand = QStringLiteral("plot");
constexpr QSize kDefaultSize{1200, 600};
constexpr int kSmallest = 200;
constexpr int kLargest = 8192; // a 8192 x 8192 picture is 256 MB in memory while it is drawn

// "2026-12-10", "2026-12-10T17:05", "2026-12-10 17:05:03.120", with or without "Z" or an offset;
// without one, the computer's local time.
std::optional<int64_t> parse_time(QString text) {
    text = text.trimmed();
    if (text.size() == 10) {
        const QDate d = QDate::fromString(text, Qt::ISODate);
        if (!d.isValid()) return std::nullopt;
        return QDateTime(d, QTime(0, 0)).toMSecsSinceEpoch();
    }
    if (text.size() > 10 && text[10] == u' ') text[10] = u'T';
    const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid()) return std::nullopt;
    return t.toMSecsSinceEpoch();
}

std::optional<QSize> parse_size(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(\\d{1,5})[xX](\\d{1,5})$"));
    const auto m = form.match(text.trimmed());
    if (!m.hasMatch()) return std::nullopt;
    const QSize s(m.captured(1).toInt(), m.captured(2).toInt());
    if (s.width() < kSmallest || s.height() < kSmallest || s.width() > kLargest || s.height() > kLargest)
        return std::nullopt;
    return s;
}

int plot_main(int argc, char** argv) {
    // Drawing text needs a GUI application; the offscreen platform needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(2);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Draws the trend of a recording (the window's live log, tessaro-cli monitor's CSV or JSON lines)\n"
        "into OUT: a PNG picture or an SVG drawing by its suffix, the same picture as the trend window:\n"
        "the minimum-maximum band and mean line, OL marks, low-battery shading and gaps, local time."));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The recording."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("The picture to write: a name ending in .png or .svg."),
                                    QStringLiteral("OUT"));
    const QCommandLineOption from(QStringLiteral("from"),
                                  QStringLiteral("Start of the span (2026-12-10T17:05, local time unless an offset "
                                                 "is given; default: the first reading)."),
                                  QStringLiteral("TIME"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("End of the span (default: the last reading)."),
                                QStringLiteral("TIME"));
    const QCommandLineOption size(QStringLiteral("size"),
                                  QStringLiteral("Picture size in pixels, 200x200 to 8192x8192 (default 1200x600)."),
                                  QStringLiteral("WxH"));
    for (const auto& o : {output, from, to, size}) parser.addOption(o);
    if (const auto status = parse(parser, kCommand, args, 1)) return *status;

    auto usage = [](const QString& why) {
        complain(kCommand, why);
        return static_cast<int>(kUsage);
    };
    if (parser.positionalArguments().size() != 1) return usage(QStringLiteral("expected one recording FILE"));
    const QString input = parser.positionalArguments().first();
    if (!parser.isSet(output) || parser.value(output).isEmpty()) return usage(QStringLiteral("-o OUT is missing"));
    const QString out = parser.value(output);
    const auto format = trend::picture_format_of(out);
    if (!format) return usage(QStringLiteral("-o: the name must end in .png or .svg"));
    QSize picture_size = kDefaultSize;
    if (parser.isSet(size)) {
        const auto s = parse_size(parser.value(size));
        if (!s) return usage(QStringLiteral("--size: expected WxH, each from 200 to 8192"));
        picture_size = *s;
    }
    std::optional<int64_t> t0, t1;
    if (parser.isSet(from) && !(t0 = parse_time(parser.value(from))))
        return usage(QStringLiteral("--from: expected a time such as 2026-12-10T17:05"));
    if (parser.isSet(to) && !(t1 = parse_time(parser.value(to))))
        return usage(QStringLiteral("--to: expected a time such as 2026-12-10T18:00"));
    if (t0 && t1 && *t1 <= *t0) return usage(QStringLiteral("--to must come after --from"));

    // The font database (fontconfig, 15 ms and more) loads on another thread while the file is
    // read; joined before drawing, and on every way out before the application ends.
    std::jthread fonts;
    try {
        fonts = std::jthread([font = QGuiApplication::font()] { QFontMetricsF(font).height(); });
    } catch (const std::system_error&) { // no thread to be had: the drawing loads them itself
    }
    trend::RecordingFile file;
    if (const auto why = file.open(input)) {
        complain(kCommand, QStringLiteral("cannot read %1: %2").arg(input, *why));
        return kFailure;
    }
    if (file.read_all() == trend::RecordingFile::Step::Refused) {
        complain(kCommand, QStringLiteral("cannot read %1: %2").arg(input, file.refusal()));
        return kFailure;
    }
    const trend::Recording& rec = file.recording();
    if (!file.notes().isEmpty()) complain(kCommand, input + QStringLiteral(": ") + file.notes());
    if (rec.size() == 0) complain(kCommand, input + QStringLiteral(" holds no readings"));

    const trend::Span all = trend::fit_all(rec);
    trend::TrendRequest request;
    request.t0 = t0.value_or(t1 && *t1 <= all.t0 ? *t1 - (all.t1 - all.t0) : all.t0);
    request.t1 = t1.value_or(std::max(all.t1, request.t0 + trend::kShortestSpanMs));
    request.title = QFileInfo(input).fileName();
    if (fonts.joinable()) fonts.join();
    const QByteArray bytes = trend::render_picture(*format, picture_size, rec, request, QGuiApplication::font());
    if (bytes.isEmpty()) {
        complain(kCommand, QStringLiteral("cannot make the picture"));
        return kFailure;
    }
    if (const auto why = write_file_atomically(out, bytes)) {
        complain(kCommand, QStringLiteral("cannot write %1: %2").arg(out, *why));
        return kFailure;
    }
    return kSuccess;
}

} // namespace
} // namespace tessaro::cli

extern "C" int tessaro_cli_plot(int argc, char** argv) { return tessaro::cli::plot_main(argc, argv); }
