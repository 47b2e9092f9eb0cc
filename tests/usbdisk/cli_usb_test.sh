#!/usr/bin/env bash
# kestrunex-cli in USB mode on a sample machine whose F: is a partition of a
# virtual USB stick: refused without root before anything is touched; a
# stick too small, a blank stick and a source that is no Windows 7 medium
# are refused before the format question; as root the whole chain runs,
# and the stick holds one active FAT32 partition that fsck.vfat finds
# clean, with no mount left behind.
# usage: cli_usb_test.sh <kestrunex-cli> <make-sample-machine>
cli="$1" make_machine="$2"
# shellcheck source-path=SCRIPTDIR source=../cli/clikit.sh
source "$(dirname "$0")/../cli/clikit.sh"
# shellcheck disable=SC2016  # expanded at exit
at_exit 'for img in "$dir"/*/stick.img; do for l in $(losetup -j "$img" -O NAME -n); do losetup -d "$l"; done; done'
# shellcheck disable=SC2016
at_exit 'grep -o "${dir}[^ ]*" /proc/self/mounts | while read -r m; do fusermount -u "$m"; done'

export KESTRUNEX_PREFIX="$dir/prefix"
# Sparse, and large enough for the sample medium and its 500 MiB headroom.
sample_machine --stick 1024 "$KESTRUNEX_PREFIX"
chmod -R a+rX "$dir"
before="$(sha256sum < "$KESTRUNEX_PREFIX/stick.img")"

# refused PREFIX PATTERN ARGS...: exit 1 with PATTERN, the prefix's stick unchanged.
refused() {
  local prefix="$1" pattern="$2" was
  shift 2
  was="$(sha256sum < "$prefix/stick.img")"
  KESTRUNEX_PREFIX="$prefix" unlocked "$dir/out" "$cli" "$@"
  cat "$dir/out"
  [ "$rc" -eq 1 ] || fail "$* on $prefix exited $rc, not 1"
  grep -q -- "$pattern" "$dir/out" || fail "$* on $prefix did not say: $pattern"
  ! grep -q "Answer" "$dir/out" || fail "the format question was asked"
  [ "$(sha256sum < "$prefix/stick.img")" = "$was" ] || fail "the stick changed"
}
if [ "$(id -u)" -eq 0 ]; then
  # A stick smaller than the DVD and 500 MiB, with both sizes named. (These
  # machines read the first one's DVD.)
  sample_machine --source "$KESTRUNEX_PREFIX/dvd" --stick 64 "$dir/small"
  refused "$dir/small" "USB disk: 63 MB, needed: [0-9]* MB" --usb F: --yes
  # A blank stick: no partition table, so no partition to prepare.
  sample_machine --source "$KESTRUNEX_PREFIX/dvd" --stick 1024 "$dir/blank"
  "$make_machine" --stick-only 1024 --unpartitioned "$dir/blank/stick.img"
  refused "$dir/blank" "This is not a USB disk" --usb F: --yes
  # A source that is no Windows 7 medium (no boot manager, no WIM header).
  mv "$KESTRUNEX_PREFIX/dvd/bootmgr" "$dir/bootmgr.away"
  printf 'hsqs' > "$dir/boot.wim.head" && dd if="$dir/boot.wim.head" of="$KESTRUNEX_PREFIX/dvd/sources/boot.wim" \
    conv=notrunc status=none
  refused "$KESTRUNEX_PREFIX" "sources.boot.wim: not a WIM image" --usb F: --yes
  grep -q "bootmgr: missing" "$dir/out" || fail "the missing boot manager is not named"
  mv "$dir/bootmgr.away" "$KESTRUNEX_PREFIX/dvd/bootmgr"
  printf 'MSWI' | dd of="$KESTRUNEX_PREFIX/dvd/sources/boot.wim" conv=notrunc status=none
  # The format question shows the stick's own size; unanswered, it is "no".
  rc=0
  "$cli" --usb F: >"$dir/out" 2>&1 </dev/null || rc=$?
  cat "$dir/out"
  grep -q "already running" "$dir/out" || {
    [ "$rc" -eq 2 ] || fail "the unanswered format question exited $rc, not 2"
    grep -q "F:.*1023 MB" "$dir/out" || fail "the format question does not show the stick's 1023 MB"
    [ "$(sha256sum < "$KESTRUNEX_PREFIX/stick.img")" = "$before" ] || fail "the stick changed after no"
  }
fi

rc=0
setpriv --reuid=65534 --regid=65534 --clear-groups "$cli" --usb F: --yes >"$dir/out" 2>&1 </dev/null || rc=$?
cat "$dir/out"
[ "$rc" -eq 1 ] || fail "without root the job exited $rc, not 1"
grep -q "needs administrator (root) rights" "$dir/out" || fail "no reason given without root"
[ "$(sha256sum < "$KESTRUNEX_PREFIX/stick.img")" = "$before" ] || fail "the stick changed without root"

unlocked "$dir/out" "$cli" --usb F: --yes
cat "$dir/out"
[ "$rc" -eq 0 ] || fail "the USB job exited $rc"
sfdisk -d "$KESTRUNEX_PREFIX/stick.img" | grep -q "start=        2048, size=     2095104, type=c, bootable" \
  || fail "no active FAT32 partition at 1 MiB"
! grep -q "$dir" /proc/self/mounts || fail "a mount was left behind"
loop="$(losetup -f --show -o 1048576 "$KESTRUNEX_PREFIX/stick.img")"
fsck.vfat -n "$loop" >/dev/null || { losetup -d "$loop"; fail "the stick's file system is not clean"; }
label="$(fatlabel "$loop")"
losetup -d "$loop"
[ "$label" = "GRMCULFRE~1" ] || fail "label $label"
echo "PASS"
