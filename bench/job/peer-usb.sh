#!/bin/bash
# The USB-mode job done by standard tools (from a DVD that is no Embedded
# edition: the OS folder is copied, install.wim stays as it is), step by
# step as the program does it, onto a stick that is an image file: sfdisk and
# mkfs.vfat, the volume mounted through fusefat over a loop device (the
# kernel here has no FAT driver, as for the program), cp -r, wimlib-imagex
# update of boot.wim image 2 with the same additions, unmount. Prints one line per
# step ("step NAME SECONDS PEAK_KIB") and the total of the steps ("peer
# SECONDS PEAK_KIB").
#
# With FS ntfs (a stick over 40,000 MiB, which our diskpart formats NTFS)
# mkfs.ntfs and ntfs-3g instead, as the program does there.
#
# usage: peer-usb.sh IMAGE DVD EFI OS OTHER BOOT_ADDITIONS MOUNT [FS]
set -euo pipefail
image="$1" dvd="$2" efi="$3" os="$4" other="$5" add_boot="$6" mnt="$7" fs="${8:-vfat}"
peak=0
total=0
scratch=$(mktemp)
step() {  # step NAME COMMAND...
  local name="$1"; shift
  local t0 t1 rss elapsed
  t0=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$scratch" "$@" >/dev/null
  t1=$(date +%s.%N)
  rss=$(cat "$scratch")
  [ "$rss" -gt "$peak" ] && peak=$rss
  elapsed=$(awk "BEGIN {printf \"%.3f\", $t1 - $t0}")
  total=$(awk "BEGIN {printf \"%.3f\", $total + $elapsed}")
  echo "step $name $elapsed $rss"
}
fsync_file() { python3 -c 'import os, sys; fd = os.open(sys.argv[1], os.O_RDONLY); os.fsync(fd)' "$1"; }
update() {  # update WIM IMAGE ADDITIONS
  printf 'add %s/Windows /Windows\n' "$3" | wimlib-imagex update "$1" "$2"
  fsync_file "$1"
}
export -f update fsync_file
format() {
  if [ "$fs" = ntfs ]; then
    printf 'label: dos\nstart=2048,type=7,bootable\n' | sfdisk -q --wipe always "$image"
    loop=$(losetup -f --show -o $((2048 * 512)) "$image")
    mkfs.ntfs -Q -q -F -p 2048 "$loop" >/dev/null
    mkdir -p "$mnt"
    ntfs-3g "$loop" "$mnt"
    echo "$loop" >"$mnt.loop"
    pgrep -f "^ntfs-3g $loop $mnt\$" >"$mnt.pid"
    return
  fi
  printf 'label: dos\nstart=2048,type=c,bootable\n' | sfdisk -q --wipe always "$image"
  mkfs.vfat -F 32 --offset 2048 "$image" >/dev/null
  loop=$(losetup -f --show -o $((2048 * 512)) "$image")
  mkdir -p "$mnt"
  fusefat -o rw+ "$loop" "$mnt"
  echo "$loop" >"$mnt.loop"
  # (the daemon shows its options rewritten: "fusefat -o rw  /dev/loopN ...")
  pgrep -f "^fusefat .*$loop $mnt\$" >"$mnt.pid"
}
export -f format
export image mnt fs
# A failed step leaves no mount or loop device behind.
cleanup() {
  grep -q " $mnt " /proc/mounts && fusermount -u "$mnt"
  if [ -s "$mnt.loop" ]; then
    [ -s "$mnt.pid" ] && while kill -0 "$(cat "$mnt.pid")" 2>/dev/null; do sleep 0.05; done
    losetup -d "$(cat "$mnt.loop")" 2>/dev/null
  fi
  rm -f "$scratch" "$mnt.loop" "$mnt.pid"
}
trap cleanup EXIT

step format bash -c format
# FAT has no holes: cp writes every byte (fusefat cannot extend a file by truncation).
step copy-dvd bash -c "cp -r --sparse=never '$efi' '$mnt/efi' && cp -r --sparse=never '$dvd/.' '$mnt/'"
step boot.wim bash -c "update '$mnt/sources/boot.wim' 2 '$add_boot'"
step copy-os bash -c "cp -r --sparse=never '$os/.' '$mnt/'"
step copy-other bash -c "cp -r --sparse=never '$other/.' '$mnt/'"
# The program's mounts are released as it exits: the daemon writes
# everything out and the disk is flushed.
step release bash -c "fusermount -u '$mnt'; while kill -0 \$(cat '$mnt.pid') 2>/dev/null; do sleep 0.05; done; losetup -d \$(cat '$mnt.loop'); sync -f '$image'"
rm -f "$mnt.loop" "$mnt.pid"
echo "peer $total $peak"
