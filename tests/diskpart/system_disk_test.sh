#!/usr/bin/env bash
# Disks the running system uses, with real loop devices: our disk tool is
# given a stick through a link outside /dev, and the stick (or a device
# stacked on it) is mounted at a system place in a mount namespace of the
# test's own, so the host's own /boot is never touched. Every script, the
# recovery's clean included, must be refused (exit 3) with the disk
# unchanged byte for byte; a plain automount is unmounted and formatted.
# usage: system_disk_test.sh <diskpart>   (root only; skipped otherwise)
set -euo pipefail
diskpart="$1"
[ "$(id -u)" -eq 0 ] || { echo "needs root: skipped"; exit 77; }
work="$(mktemp -d /tmp/kx-sysdisk-XXXXXX)"
loops=()
cleanup() {
  mountpoint -q "$work/mnt" 2>/dev/null && umount -l "$work/mnt"
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null || true; done
  for l in $(losetup -j "$work/usb.img" -O NAME -n 2>/dev/null); do losetup -d "$l" || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

truncate -s 64M "$work/usb.img"
printf 'label: dos\nstart=2048,type=83\n' | sfdisk -q "$work/usb.img"
stick="$(losetup -f --show "$work/usb.img")"; loops+=("$stick")
part="$(losetup -f --show -o 1048576 "$stick")"; loops+=("$part")
# No initialisation left for the kernel to write later: the disk must stay
# byte for byte while it is mounted read-only.
mkfs.ext4 -q -E lazy_itable_init=0,lazy_journal_init=0 "$part"
ln -s "$stick" "$work/stick-link"
mkdir -p "$work/drive_e"
printf '[disk 1]\nimage = stick-link\nsize_mb = 64\nbus = usb\nremovable = yes\n\n[drive E]\nfolder = drive_e\ntype = removable\ndisk = 1\npartition = 1\n' \
  > "$work/machine.ini"
printf 'sel disk 1\r\nclean\r\ncrea part prim\r\nexit\r\n' > "$work/clean.txt"
printf 'sel disk 1\r\nsel par 1\r\nformat fs=FAT32 quick\r\nexit\r\n' > "$work/format.txt"

# $1: the case, $2: what to mount where, as shell lines run inside the
# namespace (read-only mounts, so the mount itself writes nothing).
refused() {
  local name="$1" setup="$2" script rc before
  for script in clean.txt format.txt; do
    sync
    before="$(sha256sum < "$work/usb.img")"
    rc=0
    unshare -m --propagation private sh -c "$setup
      KESTRUNEX_PREFIX='$work' '$diskpart' /s '$work/$script'" >"$work/out" 2>&1 || rc=$?
    [ "$rc" -eq 3 ] || { cat "$work/out"; fail "$name: $script exited $rc, not 3"; }
    grep -q "DiskPart refuses to change disk 1" "$work/out" || fail "$name: no refusal line"
    [ "$(sha256sum < "$work/usb.img")" = "$before" ] || fail "$name: the disk changed"
  done
  echo "refused: $name"
}

refused "partition mounted at /boot through a link" "mount -o ro,noload '$part' /boot"
refused "partition mounted at /boot/efi" "mkdir -p /boot/efi 2>/dev/null || mount -t tmpfs none /boot; mkdir -p /boot/efi; mount -o ro,noload '$part' /boot/efi"
# A loop device over a file that lies on the stick's partition, mounted.
mkdir -p "$work/mnt"
mount "$part" "$work/mnt"
truncate -s 8M "$work/mnt/inner.img"
mkfs.ext4 -q -E lazy_itable_init=0,lazy_journal_init=0 "$work/mnt/inner.img"
mount -o remount,ro "$work/mnt"
inner="$(losetup -f --show -r "$work/mnt/inner.img")"; loops+=("$inner")
refused "loop device over a file on the stick, mounted at /var" "mount -o ro,noload '$inner' /var"
losetup -d "$inner"; loops=("$stick" "$part")
umount "$work/mnt"
# The same stick only automounted somewhere else (here through the loop
# device stacked on it) is unmounted, then cleaned.
printf 'sel disk 1\r\nclean\r\nexit\r\n' > "$work/cleanonly.txt"
rc=0
unshare -m --propagation private sh -c "mount -o ro,noload '$part' '$work/mnt'
  KESTRUNEX_PREFIX='$work' '$diskpart' /s '$work/cleanonly.txt' || exit \$?
  ! mountpoint -q '$work/mnt'" >"$work/out" 2>&1 || rc=$?
[ "$rc" -eq 0 ] || { cat "$work/out"; fail "an automount of the stick was not unmounted and cleaned ($rc)"; }
echo "automount unmounted, disk cleaned"
echo "all system-disk refusals held"
