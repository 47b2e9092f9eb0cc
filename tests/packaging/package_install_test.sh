#!/usr/bin/env bash
# Installs the built package on this machine as a user would (apt), runs the
# wizard's --help without a display, and purges it: the purge leaves no
# /var/lib/kestrunex. Needs root; a machine that has the package installed
# already, or a library of its own there, is left alone (skipped).
set -euo pipefail
out=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "skipped: installing a package needs root"; exit 77; }
if dpkg-query -W -f='${Status}' kestrunex 2>/dev/null | grep -q installed || [ -e /var/lib/kestrunex ]; then
  echo "skipped: kestrunex is installed here already, or /var/lib/kestrunex exists"; exit 77
fi
deb=$(ls "$out"/*.deb)
apt=(apt-get -y -qq -o DPkg::Lock::Timeout=600)
trap '"${apt[@]}" purge kestrunex >/dev/null 2>&1 || true' EXIT
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install --no-install-recommends "$deb" >/dev/null

help=$(env -u DISPLAY -u WAYLAND_DISPLAY kestrunex --help) || fail "kestrunex --help without a display exited $?"
grep -q -- "--version" <<<"$help" || fail "kestrunex --help: $help"
[ "$(env -u DISPLAY kestrunex --version)" = "kestrunex $(dpkg-deb -f "$deb" Version | cut -d- -f1)" ] \
  || fail "kestrunex --version"
for size in 48x48 128x128 256x256 scalable; do
  ls /usr/share/icons/hicolor/$size/apps/kestrunex.* >/dev/null || fail "no $size icon"
done

# The driver library as a job or `drivers add` leaves it.
mkdir -p /var/lib/kestrunex/drivers/sample_00000000
DEBIAN_FRONTEND=noninteractive "${apt[@]}" remove kestrunex >/dev/null
[ -d /var/lib/kestrunex/drivers ] || fail "a removal (not a purge) took the driver library"
DEBIAN_FRONTEND=noninteractive "${apt[@]}" purge kestrunex >/dev/null
[ ! -e /var/lib/kestrunex ] || fail "the purge left /var/lib/kestrunex"
trap - EXIT
echo "PASS: installed, --help without a display, purged without a trace"
