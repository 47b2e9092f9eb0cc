#!/usr/bin/env bash
# kestrunex-cli in USB mode onto a stick that fails its writes with I/O
# errors: the virtual stick's image lies on a small tmpfs, so the loop device
# behind the volume can take only the first megabytes. The run must fail,
# with and without --no-verify, end with a line on the stick's state, and
# leave no mount or loop device behind. Needs root (loop devices, tmpfs).
cli="$1" make_machine="$2"
[ "$(id -u)" -eq 0 ] || { echo "needs root: skipped"; exit 77; }
# shellcheck source-path=SCRIPTDIR source=../cli/clikit.sh
source "$(dirname "$0")/../cli/clikit.sh"
small="$dir/small"
# shellcheck disable=SC2016  # expanded at exit
at_exit '! mountpoint -q "$small" || umount -l "$small"'
# shellcheck disable=SC2016
at_exit 'for l in $(losetup -j "$small/stick.img" -O NAME -n); do losetup -d "$l"; done'

export KESTRUNEX_PREFIX="$dir/prefix"
sample_machine --stick 1200 "$KESTRUNEX_PREFIX"
# More data than the tmpfs holds once the stick is formatted.
head -c 20M /dev/urandom > "$KESTRUNEX_PREFIX/dvd/bulk.bin"
mkdir -p "$small"
mount -t tmpfs -o size=12m tmpfs "$small"
cp --sparse=always "$KESTRUNEX_PREFIX/stick.img" "$small/stick.img"
rm "$KESTRUNEX_PREFIX/stick.img"
sed -i "s|^image = stick.img|image = $small/stick.img|" "$KESTRUNEX_PREFIX/machine.ini"
cd "$KESTRUNEX_PREFIX"

for verify in --no-verify ""; do
  # shellcheck disable=SC2086  # no option is no word
  unlocked "$dir/out" "$cli" --usb F: --yes $verify
  cat "$dir/out"
  [ "$rc" -eq 1 ] || fail "a stick that fails its writes ended with $rc ${verify:-with verification}"
  grep -q "created successfully" "$dir/out" && fail "a stick that fails its writes was reported as made"
  grep -q "The USB disk is left formatted" "$dir/out" || fail "no line on the state of the stick"
  grep -q " $KESTRUNEX_PREFIX/" /proc/mounts && fail "a mount of the stick was left behind"
  [ -z "$(losetup -j "$small/stick.img" -O NAME -n)" ] || fail "a loop device was left behind"
done
echo "a stick that fails its writes fails the run"
