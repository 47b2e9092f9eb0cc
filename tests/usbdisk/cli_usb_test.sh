#!/usr/bin/env bash
# kestrunex-cli in USB mode on a sample machine whose F: is a partition of a
# virtual USB stick: refused without root before anything is touched; as
# root the whole chain runs, and the stick holds one active FAT32 partition
# that fsck.vfat finds clean, with no mount left behind.
# usage: cli_usb_test.sh <kestrunex-cli> <make-sample-medium>
set -euo pipefail
cli="$1" make_medium="$2"
dir="$(mktemp -d /tmp/kx-cliusb-XXXXXX)"
cleanup() {
  for m in $(grep -o "$dir[^ ]*" /proc/self/mounts 2>/dev/null); do fusermount -u "$m" 2>/dev/null || true; done
  for l in $(losetup -j "$dir/prefix/usb.img" -O NAME -n 2>/dev/null); do losetup -d "$l" || true; done
  rm -rf "$dir"
}
trap cleanup EXIT
export LC_ALL=C LANG=C
fail() { echo "FAIL: $*" >&2; exit 1; }

export KESTRUNEX_PREFIX="$dir/prefix"
source "$(dirname "$0")/../support/stickmachine.sh"
make_stick_machine "$KESTRUNEX_PREFIX" "$make_medium" 256 "$cli"
chmod -R a+rX "$dir"
before="$(sha256sum < "$KESTRUNEX_PREFIX/usb.img")"

rc=0
setpriv --reuid=65534 --regid=65534 --clear-groups "$cli" --usb F: --yes >"$dir/out" 2>&1 </dev/null || rc=$?
cat "$dir/out"
[ "$rc" -eq 1 ] || fail "without root the job exited $rc, not 1"
grep -q "needs administrator (root) rights" "$dir/out" || fail "no reason given without root"
[ "$(sha256sum < "$KESTRUNEX_PREFIX/usb.img")" = "$before" ] || fail "the stick changed without root"

# One job per machine: wait while another checkout's job holds the lock.
for attempt in $(seq 1 120); do
  rc=0
  "$cli" --usb F: --yes >"$dir/out" 2>&1 </dev/null || rc=$?
  grep -q "already running" "$dir/out" || break
  sleep 5
done
cat "$dir/out"
[ "$rc" -eq 0 ] || fail "the USB job exited $rc"
sfdisk -d "$KESTRUNEX_PREFIX/usb.img" | grep -q "start=        2048, size=      522240, type=c, bootable" \
  || fail "no active FAT32 partition at 1 MiB"
! grep -q "$dir" /proc/self/mounts || fail "a mount was left behind"
loop="$(losetup -f --show -o 1048576 "$KESTRUNEX_PREFIX/usb.img")"
fsck.vfat -n "$loop" >/dev/null || { losetup -d "$loop"; fail "the stick's file system is not clean"; }
label="$(fatlabel "$loop")"
losetup -d "$loop"
[ "$label" = "GRMCULFRE~1" ] || fail "label $label"
echo "PASS"
