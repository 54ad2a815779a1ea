// The figures measured inside one process: the real window and the simulator on a pseudo-terminal.
#pragma once

#include <QString>

namespace tessaro::bench {

struct Figure {
    QString name;
    double value = 0.0; // NaN when the measurement failed (the reason is on stderr)
    QString unit;
    int decimals = 2;
};

// 4600 records downloaded through Read in the history view; the simulator paced at 4800 baud or not.
Figure download_instant_s(int runs);
Figure download_paced_ratio(int runs);
// One draw_chart: 401 live samples in the realtime view, or 4600 records in the curve view.
Figure draw_chart_live_ms(int runs);
Figure draw_chart_curve_ms(int runs);
// Ascend over 4600 records of mixed ranges, as the click runs it.
Figure sort_4600_ms(int runs);
// Save of the text report of 4600 records to a file, as the click runs it.
Figure report_4600_ms(int runs);
// Open CSV of an exported file of 4600 records into the empty table, as the menu item runs it.
Figure open_csv_4600_ms(int runs);
// The memory reading the worst records file takes: the largest file read is read whole, one line
// of separators with a bad field at its end (refused), in a child process; its peak over its start.
Figure open_csv_worst_mb(int runs);

} // namespace tessaro::bench
