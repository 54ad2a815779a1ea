#!/usr/bin/env bash
# A long fuzz campaign at the lowest priority, with the fuzzer's resident memory sampled every minute.
# Usage: tests/fuzz/campaign.sh [SECONDS] (default 3600). Build first with tests/fuzz/run.sh; the
# binary is copied so a rebuild during the campaign does not touch it. Results go to
# build-fuzz/campaign/: rss.tsv (elapsed seconds, RSS in MiB, executions so far), log.txt, crashes/.
set -euo pipefail
seconds=${1:-3600}
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-fuzz"
out="$build/campaign"
rm -rf "$out"
mkdir -p "$out/corpus" "$out/crashes"
cp "$build/tests/fuzz/fuzz_receive" "$out/fuzz_receive"
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
nice -n 19 "$out/fuzz_receive" -max_total_time="$seconds" -print_final_stats=1 -max_len=512 -rss_limit_mb=2048 \
  -artifact_prefix="$out/crashes/" "$out/corpus" "$root/tests/fuzz/corpus" >"$out/log.txt" 2>&1 &
fuzzer=$!
start=$(date +%s)
printf 'seconds\trss_mib\texecs\n' >"$out/rss.tsv"
while kill -0 $fuzzer 2>/dev/null; do
  rss=$(awk '/^VmRSS:/ {printf "%.0f", $2 / 1024}' /proc/$fuzzer/status 2>/dev/null || true)
  execs=$(grep -oE '^#[0-9]+' "$out/log.txt" | tail -1 | tr -d '#' || true)
  [ -n "$rss" ] && printf '%s\t%s\t%s\n' $(( $(date +%s) - start )) "$rss" "${execs:-0}" >>"$out/rss.tsv"
  for _ in $(seq 60); do kill -0 $fuzzer 2>/dev/null || break; sleep 1; done
done
status=0
wait $fuzzer || status=$?
grep -E "^(Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb|stat::new_units_added)" "$out/log.txt" || true
exit $status
