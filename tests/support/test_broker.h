// A mosquitto broker of the test's own (free port, own configuration in a temporary folder) and a mosquitto_sub subscriber.
#pragma once

#include "support/generous_wait.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaro::test {

// A port nobody listens on just now.
inline quint16 free_tcp_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

inline bool accepts_connections(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// Whether something accepts connections on the port, waiting up to the limit with events running.
inline bool wait_listening(quint16 port, int limit_ms = kWaitMs) {
    return QTest::qWaitFor([port] { return accepts_connections(port); }, limit_ms);
}

// Never the system's broker or configuration: a mosquitto on a free port with a file written here.
// It keeps its port across restarts, and sessions too (persistence in the folder, QoS 0 messages
// queued for persistent subscribers), so a subscriber misses nothing while the broker is away.
class TestBroker {
public:
    explicit TestBroker(QString folder) : folder_(std::move(folder)), port_(free_tcp_port()) {}
    ~TestBroker() { kill(); }

    // Only user:password may connect; the password file is made with mosquitto_passwd.
    bool requireLogin(const QString& user, const QString& password) {
        passwords_ = folder_ + "/passwords";
        return QProcess::execute("mosquitto_passwd", {"-b", "-c", passwords_, user, password}) == 0;
    }

    bool start() {
        QFile conf(folder_ + "/mosquitto.conf");
        if (!conf.open(QIODevice::WriteOnly)) return false;
        QByteArray text = "listener " + QByteArray::number(port_) + " 127.0.0.1\n";
        text += passwords_.isEmpty() ? "allow_anonymous true\n"
                                     : "allow_anonymous false\npassword_file " + QFile::encodeName(passwords_) + '\n';
        text += "persistence true\npersistence_location " + QFile::encodeName(folder_) + "/\n";
        text += "queue_qos0_messages true\nmax_queued_messages 100000\nsys_interval 1\n";
        // Run as root (a container), mosquitto would switch to a user that cannot write here.
        if (const passwd* pw = ::getpwuid(::getuid())) text += QByteArray("user ") + pw->pw_name + '\n';
        conf.write(text);
        conf.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setStandardOutputFile(folder_ + "/broker.log", QIODevice::Append);
        process_.start("mosquitto", {"-c", conf.fileName()});
        return process_.waitForStarted(10000) && wait_listening(port_);
    }
    // A clean stop: SIGTERM, the sessions saved.
    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        process_.waitForFinished(30000);
    }
    void kill() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.kill();
        process_.waitForFinished(30000);
    }
    quint16 port() const { return port_; }
    QString url(const QString& rest = "/test") const { return QString("mqtt://127.0.0.1:%1%2").arg(port_).arg(rest); }
    QString url(const QString& user, const QString& rest) const {
        return QString("mqtt://%1@127.0.0.1:%2%3").arg(user).arg(port_).arg(rest);
    }

private:
    QString folder_;
    quint16 port_;
    QString passwords_;
    QProcess process_;
};

// mosquitto_sub on the test broker, collecting "topic payload" lines. With a client id it keeps a
// persistent session (QoS 1), so it gets what was published while either of them was away.
class Subscriber {
public:
    struct Login {
        QString user, password;
    };
    Subscriber(quint16 port, const QStringList& topics, const QString& id = {}, const Login& login = {}) {
        QStringList args{"-h", "127.0.0.1", "-p", QString::number(port), "-v", "-t", "$SYS/broker/uptime"};
        for (const QString& t : topics) args << "-t" << t;
        if (!id.isEmpty()) args << "-c" << "-i" << id << "-q" << "1";
        if (!login.user.isEmpty()) args << "-u" << login.user << "-P" << login.password;
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { take(); });
        process_.start("mosquitto_sub", args);
    }
    ~Subscriber() {
        process_.kill();
        process_.waitForFinished(10000);
    }
    // Subscribed once the broker's uptime (published every second) comes through.
    bool waitReady() {
        return QTest::qWaitFor([this] { return !messages("$SYS/broker/uptime").isEmpty(); }, kWaitMs);
    }
    QList<QByteArray> messages(const QString& topic) const {
        QList<QByteArray> out;
        const QByteArray prefix = topic.toUtf8() + ' ';
        for (const QByteArray& line : lines_)
            if (line.startsWith(prefix)) out << line.mid(prefix.size());
        return out;
    }
    QByteArray last(const QString& topic) const {
        const QList<QByteArray> all = messages(topic);
        return all.isEmpty() ? QByteArray() : all.last();
    }

private:
    void take() {
        buffer_ += process_.readAllStandardOutput();
        qsizetype nl;
        while ((nl = buffer_.indexOf('\n')) >= 0) {
            lines_ << buffer_.left(nl);
            buffer_.remove(0, nl + 1);
        }
    }
    QProcess process_;
    QByteArray buffer_;
    QList<QByteArray> lines_;
};

} // namespace tessaro::test
