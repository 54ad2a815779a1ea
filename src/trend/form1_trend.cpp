// File, "Open recording…": a recording in a trend window of its own; the main window goes on.
#include "app/form1.h"

#include "platform/paths.h"
#include "platform/user_seam.h"
#include "trend/trend_window.h"

namespace tessaro {

void Form1::open_recording() {
    OpenRequest request;
    request.folder = paths::save_folder();
    request.filter = QStringLiteral("Recordings (*.csv *.jsonl *.json *.log *.txt);;All files (*)");
    const QString name = user_seam().open_file(this, request);
    if (!name.isEmpty()) trend::TrendWindow::open_recording(name, this);
}

} // namespace tessaro
