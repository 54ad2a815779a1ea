#!/usr/bin/env bash
# Builds the receive-path fuzz target with clang (libFuzzer, ASan, UBSan) and runs it for SECONDS (default 60).
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-fuzz"
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g -O1"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=None -DTESSARO_FUZZ=ON \
  -DTESSARO_SANITIZE=OFF -DCMAKE_CXX_FLAGS="$flags" "${launcher[@]}" >/dev/null
# Only the target and the libraries it links: no tests, no program.
cmake --build "$build" --target fuzz_receive -j"$(nproc)"
work="$build/corpus"
mkdir -p "$work" "$build/crashes"
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
set +e
"$build/tests/fuzz/fuzz_receive" -max_total_time="$seconds" -print_final_stats=1 -max_len=512 \
  -artifact_prefix="$build/crashes/" "$work" "$root/tests/fuzz/corpus" >"$build/last-run.txt" 2>&1
status=$?
set -e
grep -E "^(#[0-9]+ +DONE|Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb)" "$build/last-run.txt" || true
if [ "$status" -ne 0 ]; then tail -60 "$build/last-run.txt"; fi
exit "$status"
