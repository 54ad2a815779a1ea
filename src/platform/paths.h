// Where the program keeps its files on Linux (XDG locations, so tests can redirect them).
#pragma once

#include <QString>

namespace tessaro::paths {

// $XDG_CONFIG_HOME/tessaro (created when missing by the callers that write there).
QString config_dir();
// The port file: 2 bytes, the chosen port number as little-endian signed 16-bit.
QString port_file();
// The port map entry for port n: a symlink to the device.
QString port_map_entry(int n);
// The user's own runtime folder (memory-backed, closed to other users), or empty when there is none.
QString runtime_dir();
// The chart snapshot, rewritten after every redraw: the runtime folder, else the cache folder.
QString snapshot_file();
// The folder proposed by the save dialog.
QString save_folder();

} // namespace tessaro::paths
