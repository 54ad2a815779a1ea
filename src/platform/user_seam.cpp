#include "user_seam.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

namespace tessaro {
namespace {

class QtUserSeam final : public UserSeam {
public:
    Answer message(QWidget* parent, const MessageRequest& r) override {
        QMessageBox box(parent);
        box.setWindowTitle(r.title);
        box.setText(r.text);
        switch (r.icon) {
        case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
        case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
        case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
        case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
        }
        if (r.yes_no) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(r.default_no ? QMessageBox::No : QMessageBox::Yes);
            return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return Answer::Ok;
    }

    void notice(QWidget* parent, const MessageRequest& r) override {
        auto* box = new QMessageBox(r.icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::Information,
                                    r.title, r.text, QMessageBox::Ok, parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard); // the command can be copied
        box->show();
    }

    QString save_file(QWidget* parent, const SaveRequest& r) override {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDirectory(r.folder);
        dialog.setNameFilter(r.filter);
        dialog.setDefaultSuffix(r.default_suffix);
        dialog.selectFile(r.file_name);
        // The dialog would ask about the name as typed ("rep."), not the one written
        // ("rep.xls"): choose_save_name asks instead.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().constFirst();
    }

    QString open_file(QWidget* parent, const OpenRequest& r) override {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDirectory(r.folder);
        dialog.setNameFilter(r.filter);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().constFirst();
    }

    bool print_setup(QWidget* parent, QPrinter& printer) override {
        QPrintDialog dialog(&printer, parent);
        // The print options window has chosen the sheets already.
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        return dialog.exec() == QDialog::Accepted;
    }

    void open_url(const QString& url) override { QDesktopServices::openUrl(QUrl(url)); }
};

QtUserSeam g_qt_seam;
UserSeam* g_seam = nullptr;

} // namespace

UserSeam& user_seam() { return g_seam ? *g_seam : static_cast<UserSeam&>(g_qt_seam); }

void set_user_seam(UserSeam* seam) { g_seam = seam; }

void open_web_page() {
    if (*kWebAddress != '\0') user_seam().open_url(QString::fromLatin1(kWebAddress));
}

QString with_default_suffix(const QString& name, const QString& suffix) {
    if (name.isEmpty() || suffix.isEmpty()) return name;
    // "report." names no suffix: it becomes "report.xls", not "report..xls".
    if (name.endsWith(QLatin1Char('.'))) return name + suffix;
    return QFileInfo(name).suffix().isEmpty() ? name + "." + suffix : name;
}

QString choose_save_name(QWidget* parent, SaveRequest request, const std::function<bool()>& still_wanted) {
    for (;;) {
        const QString chosen = user_seam().save_file(parent, request);
        if (chosen.isEmpty() || (still_wanted && !still_wanted())) return {};
        const QString name = with_default_suffix(chosen, request.default_suffix);
        const QFileInfo file(name);
        // A folder of that name is no file to replace: writing there fails and is told then.
        const bool replaces = (file.exists() || file.isSymLink()) && !file.isDir();
        if (!request.confirm_overwrite || !replaces) return name;
        MessageRequest question;
        question.title = QStringLiteral("System prompt");
        question.text = QStringLiteral("The file \"%1\" already exists.\nDo you want to replace it?")
                            .arg(QDir::toNativeSeparators(name));
        question.yes_no = true;
        question.default_no = true;
        question.icon = MessageIcon::Question;
        const Answer answer = user_seam().message(parent, question);
        if (still_wanted && !still_wanted()) return {};
        if (answer == Answer::Yes) return name;
        // The dialog again, where the operator left it.
        request.folder = file.absolutePath();
        request.file_name = file.fileName();
    }
}

} // namespace tessaro
