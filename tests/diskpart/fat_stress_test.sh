#!/usr/bin/env bash
# FAT32 through the user-space driver our disk tool mounts, under stress:
# thousands of files, deep folders and a file of 2 GiB - 1 MiB (the largest
# the driver writes: the USB step refuses larger ones for FAT32), written at
# the volume's mount and then checked with independent readers: fsck.vfat
# finds the file system clean and mtools reads back every byte.
# usage: fat_stress_test.sh <diskpart> [big-file MiB]
set -euo pipefail
diskpart="$1"
big_mib="${2:-2047}"
work="$(mktemp -d /tmp/kx-fatstress-XXXXXX)"
loop=""
cleanup() {
  if [ -n "${folder:-}" ] && mountpoint -q "$folder"; then fusermount -u "$folder" || true; fi
  if [ -n "$loop" ]; then losetup -d "$loop" 2>/dev/null || true; fi
  for l in $(losetup -j "$work/usb.img" -O NAME -n 2>/dev/null); do losetup -d "$l" || true; done
  rm -rf "$work"
}
trap cleanup EXIT

truncate -s $((big_mib + 1024))M "$work/usb.img"
printf 'label: dos\nstart=2048,type=c\n' | sfdisk -q "$work/usb.img"
mkdir -p "$work/drive_e"
printf '[disk 1]\nimage = usb.img\nbus = usb\nremovable = yes\n\n[drive E]\nfolder = drive_e\ntype = removable\ndisk = 1\npartition = 1\n' \
  > "$work/machine.ini"
printf 'sel disk 1\r\nsel par 1\r\nformat fs=FAT32 quick\r\nexit\r\n' > "$work/script.txt"
KESTRUNEX_PREFIX="$work" "$diskpart" /s "$work/script.txt" >/dev/null
folder="$(sed -n 's/^folder = //p' "$work/volumes.ini")"
mountpoint -q "$folder"

# 3000 small files in 30 folders, a chain of 24 nested folders, one big file
# whose every MiB carries its own number.
for d in $(seq 1 30); do
  mkdir "$folder/dir$d"
  for f in $(seq 1 100); do echo "file $d/$f" > "$folder/dir$d/f$f.txt"; done
done
deep="$folder"
for i in $(seq 1 24); do deep="$deep/level$i"; done
mkdir -p "$deep" && echo bottom > "$deep/bottom.txt"
expected="$(python3 - "$folder/big.bin" "$big_mib" <<'PY'
import hashlib, sys
h = hashlib.sha256()
block = bytes(range(256)) * 4096
with open(sys.argv[1], "wb") as f:
    for i in range(int(sys.argv[2])):
        chunk = i.to_bytes(8, "little") + block[8:]
        f.write(chunk)
        h.update(chunk)
print(h.hexdigest())
PY
)"
daemon="$(pgrep -f "fusefat.*$folder" || true)"
fusermount -u "$folder"
while [ -n "$daemon" ] && kill -0 "$daemon" 2>/dev/null; do sleep 0.2; done
for l in $(losetup -j "$work/usb.img" -O NAME -n); do losetup -d "$l"; done

loop="$(losetup -f --show -o 1048576 "$work/usb.img")"
fsck.vfat -n "$loop"
got="$(mtype -i "$loop" ::big.bin | sha256sum | cut -d' ' -f1)"
[ "$got" = "$expected" ] || { echo "big file differs: $got != $expected"; exit 1; }
count="$(mdir -/ -b -i "$loop" :: | grep -c '\.txt$')"
[ "$count" = 3001 ] || { echo "expected 3001 small files, found $count"; exit 1; }
[ "$(mtype -i "$loop" ::dir17/f42.txt)" = "file 17/42" ]
echo "FAT32 stress: clean, 3001 files, ${big_mib} MiB file intact"
