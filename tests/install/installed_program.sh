#!/usr/bin/env bash
# installed_program.sh BUILD_DIR LIBDIR
# Installs the program and its libraries into a temporary prefix, makes bin/
# read-only and starts it from there: the data files must land in
# XDG_DATA_HOME/tandrel (owner-only, named in the log), a second start must
# find the first through that folder, and SIGTERM must end it cleanly.
set -euo pipefail
build=$1
libdir=$2
work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/program.log" ] && cat "$work/program.log" >&2
    exit 1
}

prefix=$work/prefix
for component in tandrel tandrel_libs; do
    cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done
for f in bin/downloader share/tandrel/help.html share/tandrel/inicio.html share/tandrel/msg/error.gif \
    share/tandrel/msg/notify.wav share/applications/org.tandrel.Tandrel.desktop \
    share/metainfo/org.tandrel.Tandrel.metainfo.xml share/icons/hicolor/256x256/apps/org.tandrel.Tandrel.png \
    "$libdir/libprogreso.so.1" "$libdir/libPindle.so.1"; do
    [ -e "$prefix/$f" ] || fail "$f was not installed"
done
# Outside /usr the program finds its libraries by itself; a build for /usr
# leaves that to the system, so the test points there.
if ! readelf -d "$prefix/bin/downloader" | grep -q 'R.*PATH'; then
    export LD_LIBRARY_PATH="$prefix/$libdir"
fi
chmod a-w "$prefix/bin"

mkdir -p "$work/home"
data=$work/data/tandrel
run=(env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" XDG_DATA_HOME="$work/data"
    QT_QPA_PLATFORM=offscreen "$prefix/bin/downloader")
"${run[@]}" >"$work/program.log" 2>&1 &
pid=$!
for _ in $(seq 600); do
    [ -f "$data/tandrel.ini" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the installed program ended at start"
    sleep 0.1
done
[ -f "$data/tandrel.ini" ] || fail "no tandrel.ini in XDG_DATA_HOME/tandrel"
[ "$(stat -c %a "$data")" = 700 ] || fail "the data folder is $(stat -c %a "$data"), not owner-only"
# Its downloads go where the desktop keeps them, not into the hidden data folder.
defdir=$(head -n 1 "$data/tandrel.ini" | tr -d '\r')
[ "$defdir" = "$work/home/Downloads/" ] || fail "the download folder is $defdir, not the desktop's"
[ "$(ls -A "$prefix/bin")" = downloader ] || fail "the program wrote into bin/: $(ls -A "$prefix/bin")"

# The lock lives in the data folder: a second start sees the first and ends.
second=0
timeout 60 "${run[@]}" >/dev/null 2>&1 || second=$?
[ "$second" -eq 0 ] || fail "a second start ended with $second instead of giving way"
kill -0 "$pid" 2>/dev/null || fail "the first copy ended when the second started"

kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "SIGTERM ended the program with $status"
grep -q 'Los datos se guardan en' "$data/historial.rtf" || fail "the log does not say where the data is kept"
for f in activas.dwn inactivas.dwn view.win; do
    [ -f "$data/$f" ] || fail "$f was not saved in the data folder"
done
echo "The installed program keeps its data in XDG_DATA_HOME and ends cleanly."
