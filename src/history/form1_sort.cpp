// Ascend and Descend: the sort of the records by current with its progress display.
#include "app/form1.h"

#include "history/history_rules.h"
#include "records/number_text.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>

#include <algorithm>
#include <chrono>

namespace tessaro {

namespace {

// The progress display is redrawn at most this often; events still run every pass.
constexpr std::chrono::milliseconds kProgressFrame{16};
constexpr int kBarLeft = 1080;    // twips
constexpr int kBarFull = 10000;   // twips

void show_progress(Form1& f, int k, int passes) {
    const int width = static_cast<int>(nearest(static_cast<double>(k) / passes * kBarFull));
    f.Text33->resize(twips(width), f.Text33->height());
    f.Text34->move(twips(kBarLeft + width), f.Text34->y());
    const int percent = std::min(k * 100 / passes + 1, 100);
    f.Text34->setText(QString::number(percent) + QStringLiteral("% "));
}

// Clears the flag however the sort ends.
struct SortingFlag {
    Form1& f;
    explicit SortingFlag(Form1& form) : f(form) { f.sorting = true; }
    ~SortingFlag() { f.sorting = false; }
    SortingFlag(const SortingFlag&) = delete;
    SortingFlag& operator=(const SortingFlag&) = delete;
};

void run_sort(Form1& f, SortOrder order) {
    // A download waiting for its resume writes the repeated pair by slot: the order must stay.
    if (f.sorting || f.dl_unfinished) return;
    const SortingFlag flag(f);
    f.count_records();
    const int passes = f.ji_ge; // read once: the bar's scale
    f.Text33->resize(0, f.Text33->height());
    f.Text33->show();
    f.Text34->show();
    f.Text42->setText(QStringLiteral("Wait......"));

    QElapsedTimer frame;
    for (int k = 0; k <= passes; ++k) {
        if (k == 0 || k == passes || frame.hasExpired(kProgressFrame.count())) {
            show_progress(f, k, passes);
            frame.start();
        }
        QCoreApplication::processEvents();
        // Exit or unloading during the pump: leave now; every pass leaves a permutation.
        if (f.quitting || !f.isVisible()) return;
        bubble_pass(f, f.last_occupied(), k, order);
    }

    f.Text34->hide();
    f.Text33->hide();
    f.Text42->clear();
    f.show_page(1);
    f.write_page_status(1);
}

} // namespace

void Form1::Command12_Click() { run_sort(*this, SortOrder::Ascend); }

void Form1::Command13_Click() { run_sort(*this, SortOrder::Descend); }

void Form1::pai_ji(int32_t& ad_ji1, uint8_t& com_cz) {
    // A code without a factor leaves sort_key as it was.
    if (tessaro::sort_key(1.0f, com_cz) == 0) return;
    sort_key = tessaro::sort_key(static_cast<float>(ad_ji1), com_cz);
}

} // namespace tessaro
