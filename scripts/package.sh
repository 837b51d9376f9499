#!/usr/bin/env bash
# Builds the Debian package into build/ (from a build for /usr in
# build-deb/), checks it with lintian and its file list, then unpacks it into
# a throw-away root and starts the program from there under Xvfb, with a
# program folder it cannot write: its data must land in XDG_DATA_HOME, and
# SIGTERM must end it cleanly.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh

cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DBUILD_TESTING=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON ${TANDREL_CMAKE_ARGS:-}
cmake --build build-deb -j "$(nproc)" --target downloader program_files desktop_files progreso Pindle grafica
mkdir -p build
rm -f build/tandrel_*.deb
(cd build-deb && cpack -G DEB -B "$root/build")
debs=(build/tandrel_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "package: no single build/tandrel_*.deb was made" >&2; exit 1; }
deb=${debs[0]}
echo "package: $deb"

# lintian: an error fails, warnings are listed.
lintian_out=$(lintian --allow-root --tag-display-limit 0 "$deb" 2>&1) || true
if [ -n "$lintian_out" ]; then
    echo "lintian says:"
    echo "$lintian_out"
fi
if grep -q '^E: ' <<<"$lintian_out"; then
    echo "package: lintian found errors" >&2
    exit 1
fi

# The files a user needs are in it, the developers' files are not.
listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for f in ./usr/bin/downloader \
    ./usr/share/tandrel/help.html ./usr/share/tandrel/inicio.html \
    ./usr/share/tandrel/msg/error.gif ./usr/share/tandrel/msg/ding.wav \
    ./usr/share/applications/org.tandrel.Tandrel.desktop \
    ./usr/share/metainfo/org.tandrel.Tandrel.metainfo.xml \
    ./usr/share/icons/hicolor/48x48/apps/org.tandrel.Tandrel.png \
    ./usr/share/icons/hicolor/scalable/apps/org.tandrel.Tandrel.svg \
    "./usr/lib/$multiarch/libprogreso.so.1" "./usr/lib/$multiarch/libPindle.so.1" \
    ./usr/share/doc/tandrel/copyright ./usr/share/doc/tandrel/changelog.gz; do
    grep -qxF "$f" <<<"$listing" || { echo "package: $f is missing" >&2; exit 1; }
done
if grep -E '^\./usr/(include|lib/.*/(cmake|pkgconfig))/' <<<"$listing"; then
    echo "package: holds files for developers" >&2
    exit 1
fi

# Unpacked and started as installed, from a folder it cannot write.
work=$(mktemp -d)
xvfb_pid=
program_pid=
finish() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT
dpkg-deb -x "$deb" "$work/root"
chmod a-w "$work/root/usr/bin"
mkdir -p "$work/home" "$work/data"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "package: Xvfb did not start" >&2; exit 1; }

env -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb \
    HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/home" \
    LD_LIBRARY_PATH="$work/root/usr/lib/$multiarch" QTWEBENGINE_DISABLE_SANDBOX=1 \
    "$work/root/usr/bin/downloader" >"$work/program.log" 2>&1 &
program_pid=$!
for _ in $(seq 600); do
    [ -f "$work/data/tandrel/tandrel.ini" ] && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -f "$work/data/tandrel/tandrel.ini" ]; then
    cat "$work/program.log" >&2
    echo "package: the unpacked program wrote no tandrel.ini into XDG_DATA_HOME/tandrel" >&2
    exit 1
fi
if [ "$(stat -c %a "$work/data/tandrel")" != 700 ]; then
    echo "package: the data folder is not owner-only" >&2
    exit 1
fi
if ls "$work/root/usr/bin" | grep -qvx downloader; then
    echo "package: the program wrote into its own folder" >&2
    exit 1
fi
kill -TERM "$program_pid"
status=0
wait "$program_pid" || status=$?
program_pid=
if [ "$status" -ne 0 ]; then
    cat "$work/program.log" >&2
    echo "package: the program ended with $status after SIGTERM" >&2
    exit 1
fi
echo "package: $deb built, checked by lintian, and started from its files: data in XDG_DATA_HOME, clean end on SIGTERM."
