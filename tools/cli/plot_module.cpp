// tessaro-cli plot: finds and loads the plotting module, which alone links Qt Gui and the SVG
// generator; every other command runs without loading them (5 MB less resident per monitor).
#include "cli_commands.h"
#include "cli_common.h"
#include "plot_module.h"

#include <cstdio>
#include <string>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#ifndef TESSARO_PLOT_MODULE_DIR
#define TESSARO_PLOT_MODULE_DIR "../lib/tessaro"
#endif

namespace tessaro::cli {
namespace {

// The folder of the running program, from the kernel (not argv[0], which a caller chooses).
std::string program_folder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string s(path, static_cast<size_t>(n));
    const auto slash = s.rfind('/');
    return slash == std::string::npos ? std::string() : s.substr(0, slash);
}

} // namespace

int run_plot(int argc, char** argv) {
    const std::string folder = program_folder();
    // Installed: beside the other private files of the package; in a build tree: beside the program.
    const std::string places[] = {folder + "/" TESSARO_PLOT_MODULE_DIR "/" + kPlotModuleName,
                                  folder + "/" + kPlotModuleName};
    for (const std::string& place : places) {
        if (access(place.c_str(), F_OK) != 0) continue;
        void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto entry = module ? reinterpret_cast<int (*)(int, char**)>(dlsym(module, kPlotEntryName)) : nullptr;
        if (!entry) {
            std::fprintf(stderr, "tessaro-cli plot: cannot load %s: %s\n", place.c_str(), dlerror());
            return kFailure;
        }
        return entry(argc, argv); // the module stays loaded: its Qt objects live until exit
    }
    std::fprintf(stderr, "tessaro-cli plot: the plotting module %s is missing (looked in %s)\n", kPlotModuleName,
                 (folder + "/" TESSARO_PLOT_MODULE_DIR).c_str());
    return kFailure;
}

} // namespace tessaro::cli
