#!/usr/bin/env bash
# The USB chain of kestrunex-cli under faults, on a sample machine whose F:
# is the partition of a virtual USB stick (a disk image): Ctrl+C at each
# step, SIGKILL in the middle of the copy to the stick (then a new run), a
# stick too small for the files.
# After every case: the source is unchanged, no servicing mount recorded,
# no mount of ours, the stick's loop device detached and its file system
# clean (fsck.vfat), and what the step leaves on the stick as designed.
# The USB mode needs root: without it the test is skipped.
set -euo pipefail
set -m  # background jobs keep SIGINT, as at a terminal
cli="$1" fake="$2" make_machine="$3"
[ "$(id -u)" = 0 ] || { echo "skipped: the USB mode needs root"; exit 77; }
for tool in fusefat fsck.vfat mdir wimlib-imagex; do
  command -v "$tool" >/dev/null || { echo "skipped: no $tool"; exit 77; }
done
[ -x "$(dirname "$cli")/diskpart" ] || { echo "FAIL: build the diskpart target first" >&2; exit 1; }
dir=$(mktemp -d)
cleanup() {
  grep -o "${dir}[^ ]*" /proc/self/mounts 2>/dev/null | while read -r m; do fusermount -u "$m" 2>/dev/null || true; done || true
  for l in $(losetup -j "$img" -O NAME -n 2>/dev/null); do losetup -d "$l" || true; done
  [ -n "${KX_KEEP:-}" ] || rm -rf "$dir"
}
trap cleanup EXIT  # KX_KEEP=1 keeps the folder for a look afterwards
export LC_ALL=C LANG=C

export KESTRUNEX_PREFIX="$dir/prefix"
src="$KESTRUNEX_PREFIX/dvd" img="$KESTRUNEX_PREFIX/stick.img"
data="$KESTRUNEX_PREFIX/drive_c/ProgramData/Ovanta/Kestrunex"
log="$data/RAREzodav.log"
KESTRUNEX_CLI="$cli" "$make_machine" --stick 768 "$KESTRUNEX_PREFIX" >/dev/null
job=(--usb F: --yes)
# shellcheck source=faultkit.sh
source "$(dirname "$0")/faultkit.sh"
# Writes to the stick go through a user-space FAT driver: small bulk files
# already make each copy last a good half second.
make_program 16
seal_source 16

stick_root() { mdir -b -i "$img@@1M" ::/ 2>/dev/null | sed 's|^::/||; s|/$||' | sort; }
# The stick released and sound, whatever the run did.
check_stick() {
  [ -z "$(losetup -j "$img" -O NAME -n)" ] || fail "the stick's loop device is still attached"
  local loop
  loop=$(losetup -f --show -o 1048576 "$img")
  fsck.vfat -n "$loop" >"$dir/fsck" 2>&1 || { losetup -d "$loop"; fail "the stick's file system: $(cat "$dir/fsck")"; }
  losetup -d "$loop"
}

prepare_case() { return 0; }
# A copy that failed has emptied the stick's root; a format or servicing
# cancelled ran to its end and no copy followed it; the serviced boot.wim
# on the stick is whole.
check_target() {
  check_stick
  if grep -q BACKUPFAIL "$log"; then
    [ -z "$(stick_root)" ] || fail "the failed copy left files: $(stick_root | tr '\n' ' ')"
  fi
  case "$1" in
    format) ! stick_root | grep -qx sources || fail "files were copied after the cancel" ;;
    mount | "driver injection" | commit)
      mcopy -n -i "$img@@1M" ::/sources/boot.wim "$dir/boot.wim"
      wimlib-imagex verify "$dir/boot.wim" >/dev/null 2>&1 || fail "boot.wim on the stick does not verify"
      rm -f "$dir/boot.wim" ;;
  esac
}
cancel_each_step \
  "format|Formatting the USB disk|none|FORMATUSBOK" \
  "copy of the source|Copying files|Srcpath.E:|copy-stopped" \
  "mount|Mounting the Windows image|Srcpath.E:|DISMUNMOUNTOK" \
  "driver injection|Adding the USB 3.0 drivers|Srcpath.E:|DISMUNMOUNTOK" \
  "commit|Saving the Windows image|Srcpath.E:|DISMUNMOUNTOK" \
  "copy of OS|Unmounting|Copying files|Kestrunex.OS|copy-stopped" \
  "copy of Other|Unmounting|Copying files|copied|Copying files|Other.x64|copy-stopped"

# SIGKILL while the stick is mounted and written; then a new run succeeds
# and leaves everything released.
case="SIGKILL: copy to the stick"
run KILL "Copying files"
[ "$rc" -eq 137 ] || fail "exit $rc, not killed"
sleep 0.5
! pgrep -f "$prog/" >/dev/null || fail "a child outlived the program: $(pgrep -a -f "$prog/")"
# The stick's file-system daemon is no child of ours (it detaches itself
# when it mounts): a killed run leaves it serving the stick, and the next
# start must undo that mount.
case="restart after SIGKILL: copy to the stick"
run none ""
[ "$rc" -eq 0 ] || fail "exit $rc, not 0: $(tail -5 "$dir/out")"
check_stick
check_clean
stick_root | grep -qx sources || fail "the new run did not fill the stick"
! pgrep -a fusefat | grep -q "$dir" || fail "the killed run's file-system daemon still serves the stick"
echo "ok: $case"
# A stick that fills up: the target check passes (the stick holds the DVD and
# its 500 MiB headroom), the copies of the program's folders run out of room.
# A clean failure, the stick released with a sound file system.
case="stick fills up"
cp "$img" "$dir/stick.img.saved"
stick_mb=$(( $(du -sm --apparent-size "$src" | cut -f1) + 520 ))
"$make_machine" --stick-only "$stick_mb" "$img"
truncate -s 600M "$prog/OS/fill.bin"  # sparse; more than the headroom
run none ""
[ "$rc" -eq 1 ] || fail "exit $rc, not 1: $(tail -3 "$dir/out")"
grep -q BACKUPFAIL "$log" || fail "the copy did not fail"
check_stick
check_clean
mv "$dir/stick.img.saved" "$img"
rm "$prog/OS/fill.bin"
echo "ok: $case"
echo "all USB-chain fault checks passed"
