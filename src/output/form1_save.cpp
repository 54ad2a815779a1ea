// Save: the text report or the chart bitmap through the save dialog.
#include "app/form1.h"

#include "chart/chart_widget.h"
#include "output/atomic_file.h"
#include "output/line_source.h"
#include "output/text_report.h"
#include "platform/paths.h"
#include "platform/user_seam.h"

#include <QDir>
#include <QLocale>

#include <optional>

namespace tessaro {

namespace {

SaveRequest save_request(const QString& suffix) {
    SaveRequest request;
    request.folder = paths::save_folder();
    request.file_name = QStringLiteral("VUZ.") + suffix;
    request.filter = QStringLiteral("*.") + suffix;
    request.default_suffix = suffix;
    return request;
}

} // namespace

void Form1::Command1_Click() {
    if (sorting) return; // the sort's event pump lets this click in; the table is half sorted
    // Decided by the window's state, not by the name the operator types.
    const bool report = curve_mode != 100 && acq_on != 1;
    const SaveRequest request = save_request(report ? QStringLiteral("xls") : QStringLiteral("bmp"));

    // Only the bitmap makes the folder; a folder that cannot be made just leaves the dialog
    // elsewhere, and the chosen name's own failure is reported below.
    if (!report) QDir().mkpath(request.folder);

    const QString name = choose_save_name(this, request, [this] { return !quitting; });
    if (name.isEmpty() || quitting) return; // cancel touches nothing

    std::optional<QString> failure;
    if (report) {
        count_records();
        // QLocale() is the system locale unless a default was set (tests fix one).
        failure = write_file_atomically(name, report_bytes(page_count, record_lines(*this, QLocale())));
    } else {
        // The chart as shown when the dialog closed, as BMP whatever the extension.
        failure = save_chart_bitmap(Picture1->image(), name);
    }
    if (!failure) return;
    MessageRequest message;
    message.title = QStringLiteral("System prompt");
    message.text = QStringLiteral("The file \"%1\" could not be saved.\n%2").arg(QDir::toNativeSeparators(name), *failure);
    message.icon = MessageIcon::Warning;
    user_seam().message(this, message);
}

} // namespace tessaro
