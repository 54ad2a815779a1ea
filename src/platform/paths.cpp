#include "paths.h"

#include <QDir>
#include <QStandardPaths>

namespace tessaro::paths {

QString config_dir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/tessaro";
}

QString port_file() { return config_dir() + "/myfile.txt"; }

QString port_map_entry(int n) { return config_dir() + QStringLiteral("/ports/com%1").arg(n); }

QString runtime_dir() {
    // Without the variable Qt would invent a folder under /tmp (and warn); the cache folder is ours.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return {};
    // Qt checks that the folder is the user's own and closed to others, else answers empty or its
    // own checked folder.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString snapshot_file() {
    // A memory-backed folder: the file is rewritten twice a second and must not wear a disk.
    const QString runtime = runtime_dir();
    if (!runtime.isEmpty()) return runtime + "/tessaro/555.bmp";
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/tessaro/555.bmp";
}

QString save_folder() { return QDir::homePath() + "/VUZ"; }

} // namespace tessaro::paths
