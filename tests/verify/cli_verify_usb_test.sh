#!/usr/bin/env bash
# kestrunex-cli in USB mode onto a virtual stick (an image file behind a loop
# device, FAT32 through the file-system daemon, as our diskpart makes it):
# the verification pass mounts the released stick afresh, reads it back
# through the volume, passes on a good stick and leaves no mount behind. Needs root (loop devices), as the USB chain tests.
cli="$1" make_machine="$2"
# shellcheck source-path=SCRIPTDIR source=../cli/clikit.sh
source "$(dirname "$0")/../cli/clikit.sh"
loop=""
# shellcheck disable=SC2016  # expanded at exit
at_exit '[ -z "$loop" ] || losetup -d "$loop"'
# shellcheck disable=SC2016
at_exit '! mountpoint -q "$dir/automount" || fusermount -u "$dir/automount"'

export KESTRUNEX_PREFIX="$dir/prefix"
sample_machine --stick 1200 "$KESTRUNEX_PREFIX"
cd "$KESTRUNEX_PREFIX"

# The desktop has the stick's volume mounted (a loop device over its
# partition, through the user-space driver): the format question names the
# mount, and the stick is unmounted before it is changed.
automount="$dir/automount"
mkdir -p "$automount"
loop="$(losetup -f --show -o 1048576 stick.img)"
fusefat -o rw+ "$loop" "$automount"
for _ in $(seq 1 100); do mountpoint -q "$automount" && break; sleep 0.1; done

unlocked "$dir/out" "$cli" --usb F: --yes
cat "$dir/out"
[ "$rc" -eq 0 ] || fail "kestrunex-cli --usb F: exited $rc"
grep -q "mounted now at these places, which are unmounted first: $automount" "$dir/out" ||
  fail "the format question did not name the stick's mount"
mountpoint -q "$automount" && fail "the stick's automount was not unmounted"
losetup -d "$loop" 2>/dev/null || true
loop=""
grep -q "Verified: every file reads back" "$dir/out" || fail "the stick was not verified"
# The job released the stick before it reported; the check mounts it afresh
# and releases it again.
grep -q "\[CheckProduct\] stick mounted at $KESTRUNEX_PREFIX/volumes/" drive_c/ProgramData/Ovanta/Kestrunex/RAREzodav.log ||
  fail "the stick was not read through a mount of its volume"
grep -q " $KESTRUNEX_PREFIX/" /proc/mounts && fail "a mount of the stick was left behind"
echo "the stick verified"
