// A main window wired to a meter on a pseudo-terminal: the simulator, or the test itself playing it.
#pragma once

#include "app/form1.h"
#include "link/mscomm.h"
#include "meter_sim.h"
#include "platform/paths.h"
#include "support/form_fixture.h"
#include "support/generous_wait.h"
#include "support/pty_pair.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QLineEdit>
#include <QTest>

#include <memory>

namespace tessaro::test {

inline constexpr int kMeterPort = 3;

struct LinkFixture {
    FormFixture f;
    std::unique_ptr<MeterSim> sim;
    std::unique_ptr<PtyPair> pty;

    Form1& form() { return *f.form; }

    // Starts the simulator behind port n (the port map points at it) and selects n in the port box.
    bool startSim(MeterSimOptions options, int n = kMeterPort) {
        options.link = paths::port_map_entry(n);
        sim = std::make_unique<MeterSim>(std::move(options));
        if (!sim->start()) return false;
        choosePort(n);
        return true;
    }
    // A pseudo-terminal behind port n on which the test plays the meter.
    bool startPty(int n = kMeterPort) {
        pty = std::make_unique<PtyPair>();
        if (!pty->ok() || !f.xdg.mapPort(n, pty->slavePath())) return false;
        choosePort(n);
        return true;
    }
    void choosePort(int n) { form().Combo1->setCurrentIndex(n - 1); }

    // One supervisor tick opens the port; one link tick sends the port check.
    bool open() {
        form().Timer3_Timer();
        return form().MSComm1->PortOpen();
    }
    // Opens the port and waits for the simulator's answer to exactly one port check.
    bool connect() {
        if (!open()) return false;
        form().Timer1_Timer();
        return QTest::qWaitFor([&] { return form().Text40->text() == QLatin1String("Connect Success"); }, test::kWaitMs);
    }
    // The history view, where Command5 reads "Read".
    void historyView() { form().Command9_Click(); }

    // Link ticks until the watchdog gives the silent exchange up (at most two looks of it).
    int ticksUntilConnectionFail() {
        for (int i = 1; i <= 90; ++i) {
            form().Timer1_Timer();
            if (form().Text40->text() == QLatin1String("Connection Fail")) return i;
        }
        return -1;
    }
    // Runs the event loop until cond holds, with a link tick every 60 ms when `ticking`, as its
    // timer would. A real QEventLoop: pumping with processEvents alone was seen to leave the port's
    // queued receive check undelivered for a whole minute during long downloads.
    template <typename Cond> bool runUntil(Cond cond, int timeout_ms, bool ticking) {
        if (ticking) form().Timer1_Timer();
        if (cond()) return true;
        QEventLoop loop;
        QTimer poll;
        QElapsedTimer since_tick;
        since_tick.start();
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (ticking && since_tick.hasExpired(60)) {
                since_tick.start();
                form().Timer1_Timer();
            }
            if (cond()) loop.quit();
        });
        poll.start(5);
        QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
        loop.exec();
        return cond();
    }
    template <typename Cond> bool tickUntil(Cond cond, int timeout_ms = test::kWaitMs) {
        return runUntil(cond, timeout_ms, true);
    }
    bool downloadEnded(int timeout_ms = 60000) {
        return runUntil([&] { return form().link_state == 2; }, timeout_ms, false);
    }
};

// The record in slot s against the 8 bytes the meter holds for it.
inline bool slotHolds(const Form1& form, int s, const QByteArray& r) {
    const auto i = static_cast<size_t>(s);
    const auto b = [&](int k) { return static_cast<uint8_t>(r[k]); };
    if (form.rec_mark[i] != (b(0) >> 7) || form.rec_value[i] != float((b(0) & 0x7F) * 256 + b(1)) ||
        form.rec_range[i] != b(2) || form.rec_no[i] != float(s + 1))
        return false;
    for (size_t k = 0; k < 5; ++k)
        if (form.rec_time[5 * i + k] != b(3 + static_cast<int>(k))) return false;
    return true;
}

inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace tessaro::test
