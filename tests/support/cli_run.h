// Runs a command-line program to its end with the event loop turning (an in-process simulator keeps answering).
#pragma once

#include "stale_locks.h"
#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QStringList>

namespace tessaro::test {

struct CliRun {
    int status = -1; // -1: it did not start, crashed or had to be killed
    QByteArray out;
    QByteArray err;
};

inline CliRun run_program(const QString& program, const QStringList& args, int timeout_ms = 120000,
                          const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                          const QString& dir = {}) {
    QProcess p;
    p.setProcessEnvironment(env);
    if (!dir.isEmpty()) p.setWorkingDirectory(dir);
    p.start(program, args);
    QSignalSpy finished(&p, &QProcess::finished);
    CliRun r;
    if (!p.waitForStarted(10000) || !(finished.count() > 0 || finished.wait(timeout_ms))) {
        const qint64 pid = p.processId();
        p.kill();
        p.waitForFinished();
        remove_locks_of(pid);
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

} // namespace tessaro::test
