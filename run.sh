#!/usr/bin/env bash
# Installs what is missing, builds, and runs Tessaro against the simulated meter on port 1.
# Uses a demo configuration folder of its own, never the user's real one.
# Without a display it runs on Xvfb, saves a screenshot of the main window, prints its path and stops.
set -euo pipefail
cd "$(dirname "$0")"
tools/scripts/deps.sh

build=build-run
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARO_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target tessaro tessaro-meter-sim

demo="$PWD/$build/demo"
export XDG_CONFIG_HOME="$demo/config" XDG_CACHE_HOME="$demo/cache"
mkdir -p "$XDG_CONFIG_HOME/tessaro/ports" "$XDG_CACHE_HOME"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$demo/runtime"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi
# Port 1 is the simulator; the port file selects it.
printf '\001\000' > "$XDG_CONFIG_HOME/tessaro/myfile.txt"

pids=()
# Last started, first ended, each waited for: the program goes before its X server (else it
# reports "The X11 connection broke") and before the simulator.
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
}
trap cleanup EXIT

"$build/tools/meter-sim/tessaro-meter-sim" --link "$XDG_CONFIG_HOME/tessaro/ports/com1" --records 300 \
  --live-wave sine --live-range 0x31 --live-count 90 --live-amplitude 50 --live-period 8 >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$XDG_CONFIG_HOME/tessaro/ports/com1" ] && break; sleep 0.1; done

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$build/src/app/tessaro"
  exit 0
fi

# No display: show it on a virtual one, take a screenshot of the main window, and stop.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$build/src/app/tessaro" &
app=$!
pids+=($app)
for _ in $(seq 100); do xdotool search --name '^Form2$' >/dev/null 2>&1 && break; sleep 0.1; done
sleep 0.5
xdotool mousemove 640 512 click 1
for _ in $(seq 100); do xdotool search --name 'TessaroV1.0' >/dev/null 2>&1 && break; sleep 0.1; done
sleep 8 # a few seconds of live readings
shot="$PWD/$build/screenshot.png"
import -window root "$shot"
echo "Screenshot of the running program: $shot"
