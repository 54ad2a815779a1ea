// tessaro-bench: the in-process figures, one line each: name value unit.
#include "bench_env.h"
#include "bench_figures.h"

#include <QApplication>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Entry {
    const char* name;
    int runs; // the figure is the median of this many runs
    std::function<tessaro::bench::Figure(int)> measure;
};

const std::vector<Entry>& entries() {
    using namespace tessaro::bench;
    static const std::vector<Entry> list = {
        {"download_instant_s", 5, download_instant_s}, {"download_paced_ratio", 3, download_paced_ratio},
        {"draw_chart_live_ms", 101, draw_chart_live_ms}, {"draw_chart_curve_ms", 101, draw_chart_curve_ms},
        {"sort_4600_ms", 5, sort_4600_ms},             {"report_4600_ms", 11, report_4600_ms},
        {"open_csv_4600_ms", 11, open_csv_4600_ms},     {"open_csv_worst_mb", 3, open_csv_worst_mb},
    };
    return list;
}

int usage(FILE* to) {
    std::fprintf(to, "Usage: tessaro-bench [--runs N] [FIGURE...]\n"
                     "Prints one line per figure: name value unit (the median of several runs).\n"
                     "Figures (default: all):");
    for (const Entry& e : entries()) std::fprintf(to, " %s", e.name);
    std::fprintf(to, "\n");
    return to == stdout ? 0 : 2;
}

} // namespace

int main(int argc, char** argv) {
    // Headless unless a display is asked for; the window still paints into its backing store.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const tessaro::bench::BenchEnv env; // before QApplication: the paths are read from it
    if (!env.ok()) {
        std::fprintf(stderr, "tessaro-bench: cannot make temporary folders\n");
        return 1;
    }
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);

    int runs = 0;
    QStringList wanted;
    const QStringList args = QApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--help")) return usage(stdout);
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) {
            runs = args[++i].toInt();
            if (runs < 1) return usage(stderr);
        } else if (args[i].startsWith(QLatin1Char('-'))) {
            return usage(stderr);
        } else {
            wanted << args[i];
        }
    }

    int failed = 0;
    for (const QString& w : wanted) {
        bool known = false;
        for (const Entry& e : entries()) known = known || w == QLatin1String(e.name);
        if (!known) return usage(stderr);
    }
    for (const Entry& e : entries()) {
        if (!wanted.isEmpty() && !wanted.contains(QLatin1String(e.name))) continue;
        const tessaro::bench::Figure f = e.measure(runs > 0 ? runs : e.runs);
        if (std::isnan(f.value)) ++failed;
        std::printf("%s %.*f %s\n", qPrintable(f.name), f.decimals, f.value, qPrintable(f.unit));
        std::fflush(stdout);
    }
    return failed ? 1 : 0;
}
