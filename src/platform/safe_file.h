// Files written whole or not at all, and temporary names nobody else can plant or predict.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tessaro {

// Writes data to path through a new file beside it that replaces path only once every byte is
// written and synced: on any failure path keeps what it held and no temporary file stays.
// A path that is a symlink to an existing file replaces that file, as a text editor would.
// A path that exists and is no regular file (a FIFO, a device, a folder, a link to one) is
// refused and left as it is: replacing it would destroy a device node or starve a reader.
// nullopt on success, otherwise the system's reason ("No space left on device").
std::optional<QString> write_file_atomically(const QString& path, const QByteArray& data);
// The same for a secret (a password): the file is readable by its owner only (mode 0600) from its
// creation on, whatever the replaced file allowed.
std::optional<QString> write_private_file_atomically(const QString& path, const QByteArray& data);

// Points link_path at target: a new link under an unpredictable name, renamed over the old one,
// so link_path always names either the old device or the new one.
std::optional<QString> replace_symlink_atomically(const QString& link_path, const QString& target);

// A file created exclusively (never through a planted link, never one that already exists) under
// an unpredictable name in the folder of the encoded path `beside`, opened for writing with
// close-on-exec and mode 0666 less the umask. The caller closes fd and renames or removes name.
struct TempFile {
    int fd = -1;        // -1 when creation failed; errno tells why
    QByteArray name;    // encoded path of the new file
};
TempFile create_temp_file(const QByteArray& beside);

// Makes target a further name of the file `existing` (both encoded paths in one file system):
// a hard link under an unpredictable name, renamed over target, so target always names a whole
// file. False with errno set on failure; target is then untouched.
bool replace_with_link(const QByteArray& existing, const QByteArray& target);

// Writes all of data to fd, continuing after short writes and interruptions.
// False with errno set when the system refuses a byte.
bool write_fully(int fd, const char* data, qsizetype size);

// The reason given for a path that exists and is no regular file.
QString not_regular_file_text();

// The system's text for an errno value, for the operator.
QString reason_text(int error);

} // namespace tessaro
