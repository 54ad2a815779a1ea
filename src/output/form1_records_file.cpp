// The records file: Export CSV and Open CSV of the File menu.
#include "app/form1.h"

#include "platform/paths.h"
#include "platform/regular_file.h"
#include "platform/safe_file.h"
#include "platform/user_seam.h"
#include "records/records_csv.h"

#include <QDir>
#include <QLineEdit>

#include <variant>

namespace tessaro {

namespace {

constexpr int kFirstPairAddress = 257;

void tell(Form1* form, const QString& text, MessageIcon icon = MessageIcon::Warning) {
    MessageRequest m;
    m.title = QStringLiteral("System prompt");
    m.text = text;
    m.icon = icon;
    user_seam().message(form, m);
}

QString shown_name(const QString& name) { return QDir::toNativeSeparators(name); }

} // namespace

bool Form1::download_running() const { return link_state == 1 && (link_phase == 1 || link_phase == 2); }

void Form1::export_records_csv() {
    if (sorting || quitting) return; // the sort's event pump lets this click in; the table is half sorted
    if (download_running()) {
        tell(this, QStringLiteral("The records are being read from the meter. Export them once the download has ended."));
        return;
    }
    SaveRequest request;
    request.folder = paths::save_folder();
    request.file_name = QStringLiteral("VUZ.csv");
    request.filter = QStringLiteral("*.csv");
    request.default_suffix = QStringLiteral("csv");
    const QString name =
        choose_save_name(this, request, [this] { return !quitting && !sorting && !download_running(); });
    if (name.isEmpty() || quitting || sorting || download_running()) return;
    if (const auto failure = write_file_atomically(name, records_csv(static_cast<const RecordStore&>(*this))))
        tell(this, QStringLiteral("The file \"%1\" could not be saved.\n%2").arg(shown_name(name), *failure));
}

void Form1::open_records_csv() {
    if (sorting || quitting) return;
    if (download_running()) {
        tell(this, QStringLiteral("The records are being read from the meter. Open a file once the download has ended."));
        return;
    }
    OpenRequest request;
    request.folder = paths::save_folder();
    request.filter = QStringLiteral("CSV files (*.csv);;All files (*)");
    const QString name = user_seam().open_file(this, request);
    if (name.isEmpty() || quitting) return;

    // Only a regular file, opened without waiting and read no further than the largest records
    // file: a FIFO would stop the window and a link to /dev/zero would fill the memory.
    const auto bytes = read_regular_file(name, kMaxRecordsFileBytes);
    if (const auto* failure = std::get_if<FileReadFailure>(&bytes)) {
        tell(this, QStringLiteral("The file \"%1\" could not be read.\n%2").arg(shown_name(name), file_read_text(*failure)));
        return;
    }
    const auto read = read_records_csv(std::get<QByteArray>(bytes));
    if (const auto* refusal = std::get_if<CsvRefusal>(&read)) {
        tell(this, QStringLiteral("The file \"%1\" is not a records file.\n%2").arg(shown_name(name), csv_refusal_text(*refusal)));
        return;
    }
    const auto& records = std::get<std::vector<FileRecord>>(read);

    count_records();
    if (ji_ge > 1) {
        MessageRequest question;
        question.title = QStringLiteral("System prompt");
        question.text = QStringLiteral("Replace the %1 records on show with the %2 records of \"%3\"?")
                            .arg(ji_ge - 1)
                            .arg(records.size())
                            .arg(shown_name(name));
        question.yes_no = true;
        question.default_no = true;
        question.icon = MessageIcon::Question;
        if (user_seam().message(this, question) != Answer::Yes) return;
    }
    // The boxes let events in: a download may have started meanwhile.
    if (quitting || sorting || download_running()) return;

    load_records(*this, records);
    // An interrupted download is not resumed over the records of the file.
    dl_unfinished = false;
    meter_count = 0;
    rec_addr = kFirstPairAddress;
    show_page(1);
    write_page_status(1);
}

} // namespace tessaro
