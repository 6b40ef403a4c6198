#!/usr/bin/env bash
# Packs the Debian packages from the binaries of a build directory (debhelper
# on a scratch copy of debian/, so that no file of the source tree changes),
# unpacks them and checks their files, their Depends, the unit and the
# maintainer scripts, starts the packed service on the data directory that
# the installation makes, and runs lintian on every package when it is
# installed. Exit code 77 (skipped) without debhelper.
set -euo pipefail
source_dir=$1
build_dir=$2
command -v dh >/dev/null || { echo "check-package: debhelper is not installed: skipped"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

mkdir "$scratch/src"
cp -r "$source_dir/debian" "$source_dir/doc" "$source_dir/packaging" "$source_dir/README.md" "$scratch/src/"
(cd "$scratch/src" && ATALAIA_PREBUILT=1 BUILDDIR="$build_dir" debian/rules binary) >"$scratch/dh.log" 2>&1 ||
    fail "debian/rules binary failed: $(tail -20 "$scratch/dh.log")"

version=$("$build_dir/shell/atalaiad" --version | sed -n 's/^atalaiad //p')
[ -n "$version" ] || fail "atalaiad --version says no version"
deb() { echo "$scratch/$1_${version}_$(dpkg --print-architecture).$2"; }
server=$(deb atalaia-server deb)
desktop=$(deb atalaia-desktop deb)
# The debug symbols: .ddeb under dpkg-buildpackage, .deb when debian/rules runs alone.
for package in "$server" "$desktop" "$(deb atalaia-server-dbgsym '*deb')" "$(deb atalaia-desktop-dbgsym '*deb')"; do
    compgen -G "$package" >/dev/null || fail "no $(basename "$package") (the version of debian/changelog is not that of the build?): $(ls "$scratch")"
done
dpkg-deb -x "$server" "$scratch/server"
dpkg-deb -x "$desktop" "$scratch/desktop"
dpkg-deb -e "$server" "$scratch/server-control"

# Depends: the service needs no graphical library and no systemd.
server_depends=$(dpkg-deb -f "$server" Depends)
for needed in libqt6core6 libqt6network6 libqt6serialport6 adduser; do
    grep -q "\b$needed\b" <<<"$server_depends" || fail "atalaia-server does not depend on $needed: $server_depends"
done
for unwanted in libqt6gui libqt6widgets libqt6opengl libx11 libxcb libgl libegl libopengl libfontconfig libfreetype \
    libharfbuzz systemd; do
    ! grep -q "\b$unwanted" <<<"$server_depends" || fail "atalaia-server depends on $unwanted: $server_depends"
done
desktop_depends=$(dpkg-deb -f "$desktop" Depends)
grep -q "atalaia-server (= $version)" <<<"$desktop_depends" || fail "atalaia-desktop Depends: $desktop_depends"
grep -q '\blibqt6widgets6\b' <<<"$desktop_depends" || fail "atalaia-desktop Depends: $desktop_depends"

# Files at their places; every executable with its manual page, stripped.
unit="$scratch/server/usr/lib/systemd/system/atalaia.service"
[ -f "$unit" ] || unit="$scratch/server/lib/systemd/system/atalaia.service"
[ -f "$unit" ] || fail "atalaia-server has no atalaia.service"
for file in usr/bin/atalaiad usr/bin/tavi-sim usr/bin/station-sim usr/bin/dc09-sim usr/bin/disp.exe usr/lib/sysctl.d/60-atalaia.conf \
    usr/share/doc/atalaia-server/copyright usr/share/doc/atalaia-server/changelog.gz; do
    [ -e "$scratch/server/$file" ] || fail "atalaia-server has no /$file"
done
for data in Server.cfg Report.cfg Clients.lst Alarms.lst LocalEvents.lst Sia.lst Event.wav; do
    [ -f "$scratch/server/usr/share/atalaia/demo/$data" ] || fail "no demo $data"
done
[ -x "$scratch/desktop/usr/bin/atalaia" ] || fail "atalaia-desktop has no /usr/bin/atalaia"
[ ! -e "$scratch/server/usr/bin/atalaia" ] || fail "the window executable is in atalaia-server"
[ ! -e "$scratch/desktop/usr/bin/atalaiad" ] || fail "atalaiad is in atalaia-desktop"
for root in "$scratch/server" "$scratch/desktop"; do
    for program in "$root"/usr/bin/*; do
        name=$(basename "$program")
        [ -f "$root/usr/share/man/man1/$name.1.gz" ] || fail "no manual page for $name in its package"
        ! readelf -S "$program" | grep -q '\.debug_info' || fail "$name is not stripped"
    done
done
grep -q 'rmem_max *= *[0-9]' "$scratch/server/usr/lib/sysctl.d/60-atalaia.conf" || fail "the sysctl file sets no rmem_max"

# The unit: the headless executable as its own user, hardened.
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[ "$exec_start" = "/usr/bin/atalaiad --data-dir /var/lib/atalaia" ] || fail "ExecStart: $exec_start"
for line in User=atalaia Restart=on-failure KillSignal=SIGTERM NoNewPrivileges=yes ProtectSystem=strict \
    ProtectHome=yes StateDirectory=atalaia; do
    grep -qx "$line" "$unit" || fail "the unit lacks $line"
done
grep -q '^ReadWritePaths=.*/var/lib/atalaia' "$unit" || fail "the data directory is not writable under the unit"
! grep -q '^[^#]*CAP_NET_ADMIN' "$unit" || fail "the unit keeps CAP_NET_ADMIN"

# The maintainer scripts: the user, the data directory, the unit through debhelper.
postinst="$scratch/server-control/postinst"
grep -q 'adduser --system' "$postinst" || fail "postinst creates no user"
grep -q 'deb-systemd-helper' "$postinst" || fail "postinst does not enable the unit through debhelper"
grep -q 'Events.log' "$scratch/server-control/postrm" || fail "postrm does not keep the event history"

# The service starts on the data directory a first installation makes: the
# files postinst copies from the demonstration, with an empty client register.
data="$scratch/data"
mkdir "$data"
files=$(sed -n 's/^ *for file in \(.*\); do$/\1/p' "$postinst")
[ -n "$files" ] || fail "postinst names no files of the data directory"
eval "set -- $files"
for file in "$@"; do cp "$scratch/server/usr/share/atalaia/demo/$file" "$data/"; done
[ ! -e "$data/Clients.lst" ] || fail "postinst copies the demonstration's clients"
empty=$(sed -n 's/^ *for empty in \(.*\); do$/\1/p' "$postinst")
grep -qw Clients.lst <<<"$empty" || fail "postinst makes no empty client register"
eval "set -- $empty"
for file in "$@"; do : >"$data/$file"; done
sed -i 's/^UDP .*/UDP 0/' "$data/Server.cfg"
"$scratch/server/usr/bin/atalaiad" --data-dir "$data" 2>"$scratch/run.log" &
service=$!
for _ in $(seq 100); do
    grep -q 'receiving on UDP port' "$scratch/run.log" && break
    kill -0 "$service" 2>/dev/null || break
    sleep 0.1
done
grep -q 'receiving on UDP port' "$scratch/run.log" || { kill "$service" 2>/dev/null; fail "atalaiad: $(cat "$scratch/run.log")"; }
kill -TERM "$service"
wait "$service" || fail "atalaiad ended with $?: $(cat "$scratch/run.log")"
# Nothing is missing but the ports, which the test set to 0.
! grep -q 'faltando' "$scratch/run.log" || fail "the installed data directory lacks a file: $(cat "$scratch/run.log")"

if command -v lintian >/dev/null; then
    # The test packs a test build: its flags are not the package build's, whose hardening scripts/package checks.
    lintian --fail-on error,warning --suppress-tags hardening-no-bindnow,hardening-no-fortify-functions,hardening-no-relro \
        "$scratch"/*.*deb >"$scratch/lintian.log" 2>&1 || fail "lintian: $(cat "$scratch/lintian.log")"
else
    echo "check-package: lintian is not installed: not run"
fi
echo "check-package: atalaia-server and atalaia-desktop $version are whole"
