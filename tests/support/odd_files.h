// Files that are no regular files, planted where the program expects one: a FIFO, a device node,
// a folder, a socket, and symlinks to each, for the table-driven tests of every file reader.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace tessaro::test {

enum class OddFile {
    Fifo,        // a named pipe no one writes to: an open without O_NONBLOCK waits for ever
    ZeroDevice,  // a character device node (1,5 is /dev/zero) made with mknod: endless zero bytes
    ZeroLink,    // a symlink to /dev/zero itself
    Folder,
    Socket,
    LinkToFifo,
    LinkToDevice,
    LinkToFolder,
};

// The rows every reader's table shares: the kind and whether it is a symlink to the real thing.
inline void add_odd_file_rows() {
    QTest::addColumn<int>("kind");
    QTest::newRow("FIFO") << int(OddFile::Fifo);
    QTest::newRow("device node made with mknod") << int(OddFile::ZeroDevice);
    QTest::newRow("symlink to /dev/zero") << int(OddFile::ZeroLink);
    QTest::newRow("folder") << int(OddFile::Folder);
    QTest::newRow("socket") << int(OddFile::Socket);
    QTest::newRow("symlink to a FIFO") << int(OddFile::LinkToFifo);
    QTest::newRow("symlink to a device node") << int(OddFile::LinkToDevice);
    QTest::newRow("symlink to a folder") << int(OddFile::LinkToFolder);
}

// Makes the odd file at path (its folder exists). An empty string on success, else why not (a
// system without the right to make device nodes skips those rows).
inline QString plant_odd_file(OddFile kind, const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const QByteArray real = name + ".real";
    auto fail = [](const char* what) { return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno))); };
    switch (kind) {
    case OddFile::Fifo: return ::mkfifo(name.constData(), 0600) == 0 ? QString() : fail("mkfifo");
    case OddFile::ZeroDevice: return ::mknod(name.constData(), S_IFCHR | 0600, makedev(1, 5)) == 0 ? QString() : fail("mknod");
    case OddFile::ZeroLink: return ::symlink("/dev/zero", name.constData()) == 0 ? QString() : fail("symlink");
    case OddFile::Folder: return ::mkdir(name.constData(), 0700) == 0 ? QString() : fail("mkdir");
    case OddFile::Socket: {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        if (static_cast<size_t>(name.size()) >= sizeof address.sun_path) return QStringLiteral("path too long for a socket");
        std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0) return fail("socket");
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        const QString reason = bound ? QString() : fail("bind");
        ::close(fd); // the socket file stays
        return reason;
    }
    case OddFile::LinkToFifo:
        if (::mkfifo(real.constData(), 0600) != 0) return fail("mkfifo");
        break;
    case OddFile::LinkToDevice:
        if (::mknod(real.constData(), S_IFCHR | 0600, makedev(1, 5)) != 0) return fail("mknod");
        break;
    case OddFile::LinkToFolder:
        if (::mkdir(real.constData(), 0700) != 0) return fail("mkdir");
        break;
    }
    return ::symlink(real.constData(), name.constData()) == 0 ? QString() : fail("symlink");
}

} // namespace tessaro::test

// Plants the row's odd file at path, skipping the row where the system does not allow it.
#define PLANT_ODD_FILE(kind, path)                                                                   \
    do {                                                                                             \
        const QString why_not = tessaro::test::plant_odd_file(tessaro::test::OddFile(kind), (path)); \
        if (!why_not.isEmpty()) QSKIP(qPrintable(why_not));                                          \
    } while (false)
