#!/usr/bin/env bash
# Builds the Debian package and checks it without touching the system: what dpkg-deb shows of it,
# lintian, the desktop file and metainfo, then the programs extracted into a temporary folder:
# options, a short run against the simulator, the plugins Qt loads, a start without the CJK fonts.
# Nothing is installed or removed; every file it makes is under build-pkg/ or a temporary folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
root_dir=$PWD

build=build-pkg
# Time stamps in the package come from the last commit, so that the same commit gives the same bytes.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(date -d "$(sed -n 's/^ -- .*>  //p' packaging/changelog.in | head -1)" +%s)}
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSARO_TESTS=OFF -DTESSARO_SANITIZE=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr "${launcher[@]}" >/dev/null
# Everything the package installs (the programs, the manual pages, the changelog).
cmake --build "$build" -j"$(nproc)"
(cd "$build" && rm -f tessaro_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$PWD/$build"/tessaro_*.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "package: $deb"

fail() { echo "package check: $*" >&2; exit 1; }

# A second package from the same commit, its files installed afresh (new files, new time stamps),
# is byte for byte the same.
first=$(mktemp)
cp "$deb" "$first"
(cd "$build" && rm -rf _CPack_Packages tessaro_*.deb && cpack -G DEB >/dev/null)
if ! cmp -s "$first" "$deb"; then
  rm -f "$first"
  fail "two packages from the same commit differ"
fi
rm -f "$first"

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# --- What dpkg-deb shows: files, relations, control members ---------------------------------------
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$work/files"
for f in /usr/bin/tessaro /usr/bin/tessaro-meter-sim \
  /usr/share/applications/io.tessaro.tessaro.desktop /usr/share/metainfo/io.tessaro.tessaro.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/io.tessaro.tessaro.svg /usr/share/icons/hicolor/48x48/apps/io.tessaro.tessaro.png \
  /usr/share/man/man1/tessaro.1.gz /usr/share/man/man1/tessaro-meter-sim.1.gz \
  /usr/share/doc/tessaro/copyright /usr/share/doc/tessaro/changelog.gz \
  /usr/lib/systemd/system/tessaro-monitor@.service /usr/share/doc/tessaro/examples/monitor.conf.example; do
  grep -qx -- "$f" "$work/files" || fail "the package lacks $f"
done
grep -v '^/usr/' "$work/files" | grep -vx '/' | grep . && fail "files outside /usr"
# Every program in the package has its manual page (tessaro-cli brings its own).
for b in $(grep '^/usr/bin/.' "$work/files"); do
  grep -qx "/usr/share/man/man1/$(basename "$b").1.gz" "$work/files" || fail "no manual page for $b"
done

field() { dpkg-deb -f "$deb" "$1" | tr ',' '\n' | sed 's/(.*//; s/|.*//; s/ //g' | grep .; }
depends=$(field Depends)
for p in libqt6widgets6 libqt6gui6 libqt6serialport6 libqt6printsupport6 libqt6svg6; do
  grep -qx "$p" <<<"$depends" || fail "Depends lacks $p"
done
# The designed Chinese texts need a CJK font: the small one, or Noto where it is installed.
dpkg-deb -f "$deb" Depends | grep -q 'fonts-wqy-microhei | fonts-noto-cjk' ||
  fail "Depends lacks the CJK font (fonts-wqy-microhei | fonts-noto-cjk)"
# No maintainer scripts: the package only puts files in place (dpkg's triggers refresh the menus).
dpkg-deb -e "$deb" "$work/control"
for s in preinst postinst prerm postrm config; do
  [ -e "$work/control/$s" ] && fail "unexpected maintainer script $s"
done

# --- lintian: no error, no warning; info and pedantic tags are listed -----------------------------
status=0
lintian --pedantic --display-info --tag-display-limit 0 --fail-on error,warning "$deb" >"$work/lintian" 2>&1 || status=$?
grep -v 'running with root privileges' "$work/lintian" >"$work/tags" || true
if [ -s "$work/tags" ]; then
  echo "lintian (info and pedantic tags, looked at):"
  sed 's/^/  /' "$work/tags"
fi
[ $status -le 1 ] || fail "lintian failed to run (status $status)"
[ $status -eq 0 ] && ! grep -qE '^[EW]: ' "$work/tags" || fail "lintian reports errors or warnings"

# --- Desktop file and metainfo ---------------------------------------------------------------------
root="$work/root"
dpkg -x "$deb" "$root"
out=$(desktop-file-validate "$root/usr/share/applications/io.tessaro.tessaro.desktop" 2>&1) || true
[ -z "$out" ] || fail "desktop-file-validate: $out"
grep -qx 'StartupWMClass=tessaro' "$root/usr/share/applications/io.tessaro.tessaro.desktop" ||
  fail "the desktop file does not name the window class"
validate_metainfo() {
  local out
  out=$(appstreamcli validate --pedantic --no-net "$1" 2>&1) || fail "appstreamcli: $out"
  grep -qE '^[EWIP]: ' <<<"$out" && fail "appstreamcli reports: $out"
  return 0
}
validate_metainfo "$root/usr/share/metainfo/io.tessaro.tessaro.metainfo.xml"
# With a web address configured the metainfo gains a home page and a screenshot; check that form too.
sample="$work/sample/io.tessaro.tessaro.metainfo.xml"
mkdir -p "$work/sample"
web='  <url type="homepage">https://www.example.com/tessaro/</url>\n  <screenshots>\n    <screenshot type="default">\n      <caption>Live readings and curve of the meter</caption>\n      <image>https://www.example.com/tessaro/screenshot.png</image>\n    </screenshot>\n  </screenshots>'
sed "s|@TESSARO_METAINFO_WEB@|$web\n|" data/io.tessaro.tessaro.metainfo.xml.in >"$sample"
grep -q '<screenshot ' "$sample" || fail "the metainfo template has no place for the web address"
validate_metainfo "$sample"

# --- The monitor's systemd unit: systemd-analyze finds nothing to say ------------------------------
if command -v systemd-analyze >/dev/null 2>&1; then
  unit="$work/unit/tessaro-monitor@.service"
  mkdir -p "$work/unit"
  # The extracted tessaro-cli stands in for the installed one; man finds the extracted manual page.
  sed "s|/usr/bin/tessaro-cli|$root/usr/bin/tessaro-cli|" "$root/usr/lib/systemd/system/tessaro-monitor@.service" >"$unit"
  out=$(MANPATH="$root/usr/share/man" systemd-analyze verify "$unit" 2>&1) || fail "systemd-analyze verify: $out"
  [ -z "$out" ] || fail "systemd-analyze verify: $out"
  grep -qx 'DynamicUser=yes' "$unit" && grep -qx 'SupplementaryGroups=dialout' "$unit" ||
    fail "the monitor unit does not run as a dynamic user in the dialout group"
else
  echo "systemd-analyze missing: the monitor unit is not verified"
fi

# --- The extracted programs --------------------------------------------------------------------------
bin="$root/usr/bin/tessaro"
sim="$root/usr/bin/tessaro-meter-sim"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/tessaro/ports" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

[ "$("$bin" --version)" = "tessaro $version" ] || fail "--version does not print 'tessaro $version'"
"$bin" --help | grep -qF "$XDG_CONFIG_HOME/tessaro" || fail "--help does not name the configuration folder"
set +e
"$bin" --no-such-option >/dev/null 2>"$work/err"
rc=$?
set -e
[ $rc -eq 2 ] && grep -q '^Usage: tessaro' "$work/err" || fail "an unknown option was not refused with a usage line"

# The simulator behind port 1; the port file selects it.
"$sim" --link "$XDG_CONFIG_HOME/tessaro/ports/com1" --records 30 >/dev/null 2>&1 &
pids+=($!)
printf '\001\000' >"$XDG_CONFIG_HOME/tessaro/myfile.txt"
for _ in $(seq 100); do [ -e "$XDG_CONFIG_HOME/tessaro/ports/com1" ] && break; sleep 0.1; done
[ -e "$XDG_CONFIG_HOME/tessaro/ports/com1" ] || fail "the extracted simulator did not start"

# Waits until process $1 catches SIGTERM (its handlers are in place), at most 20 s.
wait_handlers() {
  local mask
  for _ in $(seq 200); do
    mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$1/status" 2>/dev/null) || return 1
    [ -n "$mask" ] && (( (16#$mask >> 14) & 1 )) && return 0
    sleep 0.1
  done
  return 1
}
# The Qt plugins process $1 has loaded, each of which must come from a package the package depends on.
check_plugins() {
  local plugin pkg
  grep -o '/[^ ]*/qt6/plugins/[^ ]*\.so' "/proc/$1/maps" | sort -u >"$work/plugins" || true
  [ -s "$work/plugins" ] || fail "no Qt plugin seen in the running program (is /proc readable?)"
  echo "plugins loaded ($2): $(sed 's|.*/plugins/||' "$work/plugins" | tr '\n' ' ')"
  while read -r plugin; do
    pkg=$(dpkg -S "$plugin" 2>/dev/null | head -1 | cut -d: -f1) || true
    [ -n "$pkg" ] || fail "plugin $plugin belongs to no package"
    case "$pkg" in qt6-gtk-platformtheme | qt6-xdgdesktopportal-platformtheme | qt6-wayland) continue ;; esac # the desktop's choice
    grep -qx "$pkg" <<<"$depends" || fail "plugin $plugin comes from $pkg, which is not in Depends"
  done <"$work/plugins"
}
# The serial port lock file process $1 holds, if any.
lock_of() {
  local f
  for f in /run/lock/LCK..* /var/lock/LCK..* /tmp/LCK..*; do
    [ -f "$f" ] && [ "$(head -1 "$f" 2>/dev/null | tr -d ' ')" = "$1" ] && { echo "$f"; return 0; }
  done
  return 0
}
# Ends process $1 with SIGTERM; it must leave through its exit path with status 0.
end_with_term() {
  kill -TERM "$1"
  local rc=0
  for _ in $(seq 300); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  wait "$1" || rc=$?
  [ $rc -eq 0 ] || fail "SIGTERM ended the program with status $rc"
}

# A short offscreen run: starts, keeps running, ends cleanly on SIGTERM.
QT_QPA_PLATFORM=offscreen "$bin" -platform offscreen >"$work/offscreen.log" 2>&1 &
app=$!
pids+=($app)
wait_handlers $app || fail "the offscreen run did not come up: $(cat "$work/offscreen.log")"
sleep 2
kill -0 $app 2>/dev/null || fail "the offscreen run ended by itself: $(cat "$work/offscreen.log")"
check_plugins $app offscreen
end_with_term $app

# On a virtual X display: the splash, a click into the main window, the link to the simulator, the
# window's desktop file name; then SIGTERM removes the port's lock file. Once more without the CJK
# fonts (only DejaVu), which must start and reach the main window as well.
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null && command -v xprop >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$work/display" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -1 "$work/display")"
  cat >"$work/fonts.conf" <<EOF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig><dir>/usr/share/fonts/truetype/dejavu</dir><cachedir>$work/fontcache</cachedir></fontconfig>
EOF
  for fonts in system dejavu-only; do
    env_fonts=()
    [ $fonts = dejavu-only ] && env_fonts=(FONTCONFIG_FILE="$work/fonts.conf")
    env "${env_fonts[@]}" QT_QPA_PLATFORM=xcb "$bin" >"$work/xcb.log" 2>&1 &
    app=$!
    pids+=($app)
    splash=""
    for _ in $(seq 200); do splash=$(xdotool search --pid $app --name '^Form2$' 2>/dev/null | head -1) && [ -n "$splash" ] && break; sleep 0.1; done
    [ -n "$splash" ] || fail "($fonts fonts) no splash window: $(cat "$work/xcb.log")"
    xprop -id "$splash" WM_CLASS | grep -q '"tessaro"' || fail "the window class is not tessaro"
    sleep 0.5
    xdotool mousemove --window "$splash" 20 20 click 1
    main=""
    for _ in $(seq 200); do main=$(xdotool search --pid $app --name 'TessaroV1.0' 2>/dev/null | head -1) && [ -n "$main" ] && break; sleep 0.1; done
    [ -n "$main" ] || fail "($fonts fonts) the main window did not open: $(cat "$work/xcb.log")"
    # The port opens: the serial layer holds a lock file with the program's process id.
    lock=""
    for _ in $(seq 150); do lock=$(lock_of $app) && [ -n "$lock" ] && break; sleep 0.1; done
    [ -n "$lock" ] || fail "($fonts fonts) the port was not opened (no lock file of the program)"
    check_plugins $app "xcb, $fonts fonts"
    end_with_term $app
    [ ! -e "$lock" ] || fail "SIGTERM left the port's lock file $lock"
    # Without a CJK font the program says so once; with one it says nothing.
    warned=$(grep -c "no installed font shows the program's Chinese texts" "$work/xcb.log" || true)
    [ $fonts = dejavu-only ] && [ "$warned" -ne 1 ] && fail "without CJK fonts the warning came $warned times"
    [ $fonts = system ] && [ "$warned" -ne 0 ] && fail "the CJK font warning came with the system's fonts"
  done
else
  echo "package check: no Xvfb/xdotool/xprop, the run on a display was skipped"
fi
echo "package check: passed"
