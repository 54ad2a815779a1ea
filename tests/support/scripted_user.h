// A scripted operator for widget tests: records every dialog asked and answers from a queue.
#pragma once

#include "platform/user_seam.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>

namespace tessaro::test {

class ScriptedUser final : public UserSeam {
public:
    ScriptedUser();   // installs itself
    ~ScriptedUser() override; // puts the real dialogs back

    Answer message(QWidget* parent, const MessageRequest& request) override;
    void notice(QWidget* parent, const MessageRequest& request) override;
    QString save_file(QWidget* parent, const SaveRequest& request) override;
    QString open_file(QWidget* parent, const OpenRequest& request) override;
    bool print_setup(QWidget* parent, QPrinter& printer) override;
    void open_url(const QString& url) override;
    std::optional<PublishRequest> publish_settings(QWidget* parent, const PublishRequest& proposed,
                                                   const std::function<QString(const PublishRequest&)>& check) override;

    QList<MessageRequest> messages;     // every message box shown, in order
    QList<MessageRequest> notices;      // every message shown without waiting, in order
    QList<SaveRequest> saves;           // every save dialog shown
    QList<OpenRequest> opens;           // every open dialog shown
    QStringList urls;                   // every web link opened
    int print_dialogs = 0;
    QList<PublishRequest> publish_proposals; // what each publishing dialog proposed
    QStringList publish_problems;           // what the dialog's check said about a refused entry

    QQueue<Answer> answers;             // answers for Yes/No boxes (default: No)
    QQueue<QString> save_names;         // chosen names (empty string: cancel)
    QQueue<QString> open_names;         // chosen files to open (empty string: cancel)
    // Entries for the publishing dialog (none: cancel); one the check refuses counts as a cancel.
    QQueue<PublishRequest> publish_entries;
    // Sets up the printer (for example print to a PDF file); returning false cancels.
    std::function<bool(QPrinter&)> printer_setup;
    // Runs while a message box would be open (to act inside its nested loop).
    std::function<void(const MessageRequest&)> during_message;
};

} // namespace tessaro::test
