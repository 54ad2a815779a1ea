// The benchmark's surroundings: temporary XDG folders, a scripted operator, waits and medians.
#pragma once

#include "platform/user_seam.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <vector>

namespace tessaro::bench {

// Points HOME and the XDG folders at temporary ones before anything reads them; the runtime
// folder (the chart snapshot) is memory-backed as on a desktop session.
class BenchEnv {
public:
    BenchEnv();
    bool ok() const { return disk_.isValid() && runtime_.isValid(); }
    QString root() const { return disk_.path(); }

private:
    QTemporaryDir disk_;
    QTemporaryDir runtime_;
};

// The operator: every save goes to one fixed name; any message box counts as a failure.
class BenchUser : public UserSeam {
public:
    QString save_name;
    QString open_name;
    int messages = 0;
    QString last_message;
    Answer message(QWidget*, const MessageRequest& request) override;
    void notice(QWidget* parent, const MessageRequest& request) override { message(parent, request); }
    QString save_file(QWidget*, const SaveRequest&) override { return save_name; }
    QString open_file(QWidget*, const OpenRequest&) override { return open_name; }
    bool print_setup(QWidget*, QPrinter&) override { return false; }
    void open_url(const QString&) override {}
};

// Runs the event loop until pred() holds; false when timeout_ms pass first.
bool wait_until(const std::function<bool()>& pred, int timeout_ms);

double median(std::vector<double> samples);

} // namespace tessaro::bench
