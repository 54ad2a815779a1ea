// The plotting module's entry point: tessaro-cli loads it for `plot` only.
#pragma once

// The whole command line ("tessaro-cli plot FILE ..."); returns the exit status.
extern "C" int tessaro_cli_plot(int argc, char** argv);

namespace tessaro::cli {

inline constexpr const char* kPlotModuleName = "tessaro-cli-plot.so";
inline constexpr const char* kPlotEntryName = "tessaro_cli_plot";

} // namespace tessaro::cli
