#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, runs every test.
set -euo pipefail
cd "$(dirname "$0")"
tools/scripts/deps.sh

build=build-test
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Clones in other folders share the compiler cache.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTESSARO_SANITIZE=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"

# The Debian package, checked without installing it (nothing on the system changes).
tools/scripts/package_check.sh

# The receive path under libFuzzer for a minute (its own clang build).
tests/fuzz/run.sh 60

cd "$build"
ctest --output-on-failure -j2 --timeout 600
