#include "scripted_user.h"

namespace tessaro::test {

ScriptedUser::ScriptedUser() { set_user_seam(this); }

ScriptedUser::~ScriptedUser() { set_user_seam(nullptr); }

Answer ScriptedUser::message(QWidget*, const MessageRequest& request) {
    messages << request;
    if (during_message) during_message(request);
    if (!request.yes_no) return Answer::Ok;
    return answers.isEmpty() ? Answer::No : answers.dequeue();
}

void ScriptedUser::notice(QWidget*, const MessageRequest& request) { notices << request; }

QString ScriptedUser::save_file(QWidget*, const SaveRequest& request) {
    saves << request;
    return save_names.isEmpty() ? QString() : save_names.dequeue();
}

QString ScriptedUser::open_file(QWidget*, const OpenRequest& request) {
    opens << request;
    return open_names.isEmpty() ? QString() : open_names.dequeue();
}

bool ScriptedUser::print_setup(QWidget*, QPrinter& printer) {
    ++print_dialogs;
    return printer_setup ? printer_setup(printer) : false;
}

void ScriptedUser::open_url(const QString& url) { urls << url; }

std::optional<PublishRequest> ScriptedUser::publish_settings(QWidget*, const PublishRequest& proposed,
                                                             const std::function<QString(const PublishRequest&)>& check) {
    publish_proposals << proposed;
    if (publish_entries.isEmpty()) return std::nullopt;
    const PublishRequest entry = publish_entries.dequeue();
    if (const QString problem = check(entry); !problem.isEmpty()) {
        publish_problems << problem;
        return std::nullopt;
    }
    return entry;
}

} // namespace tessaro::test
