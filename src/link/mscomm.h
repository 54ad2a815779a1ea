// The serial port layer: the few operations the meter link uses, on QSerialPort.
#pragma once

#include "platform/serial_device_map.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

namespace tessaro {

// Why the last open failed, decided from the open call's error code.
enum class OpenFailure { None, NoSuchPort, PermissionDenied, Busy, NotSerial, Other };

class MSComm : public QObject {
    Q_OBJECT
public:
    static constexpr int kNoSuchPort = 8002;
    static constexpr int kPortAlreadyOpen = 8005;
    static constexpr int kPortOpenFailed = 8012;
    static constexpr int kCommEventReceive = 2;

    explicit MSComm(QObject* parent = nullptr);
    ~MSComm() override;

    // Port number 1..16; takes effect at the next open, where it is resolved to its device again.
    void setCommPort(int n) { comm_port_ = n; }
    int CommPort() const { return comm_port_; }
    // Opens this device instead of the port number's (the command-line tool, the port probe).
    void setDevicePath(const QString& path) { fixed_path_ = path; }
    void setSettings(const QString& settings) { settings_ = settings; }
    QString Settings() const { return settings_; }

    bool PortOpen() const;
    // Opens (true) or closes (false). Returns 0 or an error code (8002: no such port).
    int setPortOpen(bool open);

    void setInBufferCount(int n);   // 0 discards every received byte not yet read
    void setOutBufferCount(int n);  // 0 discards every byte not yet sent
    int InBufferCount() const;
    void setInputLen(int n) { input_len_ = n; }
    int InputLen() const { return input_len_; }
    void setRThreshold(int n);
    int RThreshold() const { return r_threshold_; }
    // Queues the bytes for sending; does nothing while the port is closed.
    void Output(const QByteArray& bytes);
    // Takes the waiting bytes, at most InputLen of them (all when InputLen is 0).
    QByteArray Input();
    int CommEvent() const { return comm_event_; }

    // The device behind the current number (empty when there is none) and why the last open failed.
    QString devicePath() const { return device_path_; }
    OpenFailure lastOpenFailure() const { return last_failure_; }
    SerialDeviceMap& deviceMap() { return device_map_; }

    // The most received bytes the layer holds: no reply is longer, so more than this is a device
    // babbling while nobody takes its bytes (a message box open), and it is dropped.
    static constexpr qsizetype kMaxHeldInput = 4096;

signals:
    // Raised on the window's thread when at least RThreshold bytes wait and the
    // previous event has been handled.
    void OnComm();

private:
    void scheduleCheck();
    void onReadyRead();
    void checkThreshold();
    void raiseIfDue();
    void syncWakeThreshold();
    void onError(QSerialPort::SerialPortError error);
    bool applySettings();

    QSerialPort port_;
    int comm_port_ = 1;
    QString settings_ = QStringLiteral("4800,n,8,1");
    QString device_path_;
    QString fixed_path_;
    SerialDeviceMap device_map_;
    int input_len_ = 0;
    int r_threshold_ = 0;
    int wake_min_ = -1; // the driver's VMIN as last set; -1 when not known
    int comm_event_ = 0;
    bool in_handler_ = false;
    QTimer check_timer_;
    bool recheck_after_handler_ = false;
    qsizetype taken_in_handler_ = 0;
    OpenFailure last_failure_ = OpenFailure::None;
};

} // namespace tessaro
