#!/usr/bin/env bash
# Builds the Debian package from a build directory, unpacks it into a scratch
# root and checks the unit file, the files it names and the install scripts.
set -euo pipefail
build_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

(cd "$build_dir" && cpack -G DEB -B "$scratch/out" >/dev/null) || fail "cpack failed"
deb=$(ls "$scratch"/out/atalaia_*_amd64.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no atalaia_<version>_amd64.deb"
dpkg-deb -x "$deb" "$scratch/root"
dpkg-deb -e "$deb" "$scratch/control"

unit="$scratch/root/usr/lib/systemd/system/atalaia.service"
[ -f "$unit" ] || unit="$scratch/root/lib/systemd/system/atalaia.service"
[ -f "$unit" ] || fail "no unit file"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
binary=${exec_start%% *}
[ -x "$scratch/root$binary" ] || fail "the unit's program $binary is not in the package"
case "$exec_start" in *"--headless --data-dir /var/lib/atalaia"*) ;; *) fail "ExecStart: $exec_start" ;; esac
grep -qx 'User=atalaia' "$unit" || fail "the unit does not run as its own user"
grep -qx 'Restart=on-failure' "$unit" || fail "no Restart=on-failure"
grep -qx 'KillSignal=SIGTERM' "$unit" || fail "no orderly stop by SIGTERM"

for program in atalaia tavi-sim station-sim disp.exe; do
    [ -x "$scratch/root/usr/bin/$program" ] || fail "no /usr/bin/$program"
done
for data in Server.cfg Clients.lst Alarms.lst LocalEvents.lst Report.cfg; do
    [ -f "$scratch/root/usr/share/atalaia/demo/$data" ] || fail "no demo $data"
done
grep -q 'adduser --system' "$scratch/control/postinst" || fail "postinst creates no user"
grep -q '/usr/share/atalaia/demo' "$scratch/control/postinst" || fail "postinst does not fill the data directory"
grep -q '^Depends:.*libqt6' "$scratch/control/control" || fail "no Qt dependency: $(grep Depends "$scratch/control/control")"
echo "check-package: $(basename "$deb") is whole"
