// Reading a file the operator named: only a regular file, never more than a bound, never blocking.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

namespace tessaro {

// Why a file was not read.
enum class FileReadError {
    CannotOpen,  // the system refused to open it (system_error says why)
    Folder,      // a directory
    Pipe,        // a named pipe (FIFO): reading it would wait for a writer or never end
    Device,      // a character or block device (/dev/zero, a serial port): never opened
    Socket,
    NotRegular,  // any other kind of file that is no regular file
    TooLarge,    // more bytes than the reader's bound
    ReadFailed,  // a read failed part way (system_error says why)
};

struct FileReadFailure {
    FileReadError error = FileReadError::CannotOpen;
    int system_error = 0;  // errno for CannotOpen and ReadFailed, else 0
    qint64 max_bytes = 0;  // the bound, for TooLarge
    bool operator==(const FileReadFailure&) const = default;
};

// The operator's text of a failure ("It is a named pipe (FIFO), not a file.").
QString file_read_text(const FileReadFailure& failure);

// Reads the whole regular file at path (symlinks followed), at most max_bytes of it.
// The kind of file is checked before opening, so a device is never opened (opening a serial
// port changes its lines), and again with fstat on the opened descriptor, so a file swapped in
// between is caught. The open never waits (O_NONBLOCK, O_NOCTTY) and the descriptor is not
// inherited. A file of more than max_bytes is refused without reading more than max_bytes + 1,
// so memory stays bounded even where the size the system reports is wrong (files in /proc).
std::variant<QByteArray, FileReadFailure> read_regular_file(const QString& path, qint64 max_bytes);

// The kind check alone, for code that opens the file itself (the live log): the failure for a
// file of this st_mode that is no regular file, nullopt for a regular one.
std::optional<FileReadFailure> not_regular_failure(unsigned mode);

} // namespace tessaro
