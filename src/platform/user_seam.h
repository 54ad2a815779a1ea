// The operator's side of every dialog: message boxes, file and printer dialogs, the web link.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;
class QPrinter;

namespace tessaro {

enum class MessageIcon { None, Information, Question, Warning };
enum class Answer { Ok, Yes, No, Cancel };

struct MessageRequest {
    QString text;
    QString title;
    bool yes_no = false;          // Yes/No buttons instead of OK
    bool default_no = false;      // with yes_no: No is the default button
    MessageIcon icon = MessageIcon::None;
};

struct SaveRequest {
    QString folder;               // initial folder
    QString file_name;            // proposed name, e.g. "VUZ.xls"
    QString filter;               // e.g. "*.xls"
    QString default_suffix;       // e.g. "xls", added by the program when the chosen name has none
    bool confirm_overwrite = true; // false where the file is appended to, never replaced
};

struct OpenRequest {
    QString folder;               // initial folder
    QString filter;               // e.g. "CSV files (*.csv);;All files (*)"
};

// A warning box titled "System prompt", the main window's title for its messages.
inline MessageRequest system_prompt_warning(const QString& text) {
    MessageRequest m;
    m.title = QStringLiteral("System prompt");
    m.text = text;
    m.icon = MessageIcon::Warning;
    return m;
}

// What the operator sets for publishing to an MQTT broker.
struct PublishRequest {
    QString url;                  // mqtt://host[:port][/prefix] or mqtts://...
    QString name;                 // the meter's name in topics
    QString user;                 // empty: the URL's, if any
    QString password;
    bool ha_discovery = false;    // announce the meter to Home Assistant
};

// The default shows the real Qt dialogs; widget tests install a scripted answerer.
class UserSeam {
public:
    virtual ~UserSeam() = default;
    virtual Answer message(QWidget* parent, const MessageRequest& request) = 0;
    // A message that does not wait for the operator (an OK box beside the window); the program
    // goes on at once.
    virtual void notice(QWidget* parent, const MessageRequest& request) = 0;
    // The name the operator chose, as typed (no suffix added, no overwrite question asked:
    // choose_save_name does both for the name that is actually written), or an empty string
    // on cancel.
    virtual QString save_file(QWidget* parent, const SaveRequest& request) = 0;
    // The chosen existing file, or an empty string on cancel.
    virtual QString open_file(QWidget* parent, const OpenRequest& request) = 0;
    // Lets the operator pick and set up the printer; false on cancel.
    virtual bool print_setup(QWidget* parent, QPrinter& printer) = 0;
    virtual void open_url(const QString& url) = 0;
    // The broker settings for publishing, starting from `proposed`; nullopt on cancel.
    // `check` says what is wrong with an entry (empty when it is fine); the dialog stays open until then.
    virtual std::optional<PublishRequest> publish_settings(QWidget* parent, const PublishRequest& proposed,
                                                           const std::function<QString(const PublishRequest&)>& check);
};

// The seam in force: the real dialogs unless a test installed another one.
UserSeam& user_seam();
// Installs a seam (not owned); nullptr puts the real dialogs back.
void set_user_seam(UserSeam* seam);

// Adds the default suffix when the chosen name has none; a trailing dot counts as none.
QString with_default_suffix(const QString& name, const QString& suffix);

// Shows the save dialog through the seam and returns the name to write, the default suffix
// added; an empty string on cancel. When that name is an existing file (and the request
// replaces files), the operator is asked whether to replace it; No shows the dialog again.
// still_wanted, when given, is asked after the dialog closes: false (the program is ending)
// returns an empty string without a question.
QString choose_save_name(QWidget* parent, SaveRequest request, const std::function<bool()>& still_wanted = {});

// The maker's web page, opened by the link strip and the splash window. A build without one
// (configure with -DTESSARO_WEB_ADDRESS=https://...) opens nothing.
#ifndef TESSARO_WEB_ADDRESS
#define TESSARO_WEB_ADDRESS ""
#endif
inline constexpr const char* kWebAddress = TESSARO_WEB_ADDRESS;
// Opens the maker's web page through the seam, when the build has an address for it.
void open_web_page();

} // namespace tessaro
