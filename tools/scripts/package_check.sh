#!/usr/bin/env bash
# Builds the Debian package, installs it, checks what it put in place, starts the installed
# program on a virtual display, then removes the package again.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=build-pkg
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSARO_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr \
  "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target tessaro tessaro-meter-sim
(cd "$build" && rm -f tessaro_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$PWD/$build"/tessaro_*.deb)
echo "package: $deb"
dpkg-deb -f "$deb" Depends | grep -q fonts-noto-cjk
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get install -y -qq "$deb" >/dev/null
trap '"${sudo_cmd[@]}" apt-get remove -y -qq tessaro >/dev/null 2>&1 || true' EXIT

test -x /usr/bin/tessaro
test -x /usr/bin/tessaro-meter-sim
test -f /usr/share/applications/io.tessaro.Tessaro.desktop
test -f /usr/share/icons/hicolor/scalable/apps/io.tessaro.Tessaro.svg
test -f /usr/share/icons/hicolor/48x48/apps/io.tessaro.Tessaro.png
appstreamcli validate --no-net /usr/share/metainfo/io.tessaro.Tessaro.metainfo.xml >/dev/null
/usr/bin/tessaro --version | grep -q "^tessaro 1\."
/usr/bin/tessaro --help | grep -q Usage
if /usr/bin/tessaro --bogus 2>/dev/null; then echo "an unknown argument was accepted" >&2; exit 1; fi

# The installed program starts and shows its splash window.
display=:$((150 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; "${sudo_cmd[@]}" apt-get remove -y -qq tessaro >/dev/null 2>&1 || true' EXIT
export DISPLAY=$display
home=$(mktemp -d)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
XDG_CONFIG_HOME=$home QT_QPA_PLATFORM=xcb /usr/bin/tessaro &
app=$!
shown=no
for _ in $(seq 100); do
  if xdotool search --name '^Form2$' >/dev/null 2>&1; then shown=yes; break; fi
  sleep 0.1
done
kill $app 2>/dev/null || true
wait $app 2>/dev/null || true
rm -rf "$home"
[ "$shown" = yes ] || { echo "the installed program showed no window" >&2; exit 1; }
echo "package check: passed"
