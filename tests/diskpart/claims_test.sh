#!/usr/bin/env bash
# Disks in use that only the kernel knows of, on loop devices over an image
# file (the partition a loop device stacked on the stick's): a partition mounted only in another mount namespace, the lower
# layer of an overlay whose own mount is gone, a swap file whose file
# system is mounted nowhere any more, a partition mounted here and in
# another namespace. Our disk tool must refuse each (exit 3, "in use by
# the system", the device named) before a byte of the disk changes, at the
# choice of the disk (as the format question does) or, for the last case,
# after it unmounted its own namespace's mount. mkfs.ext4, which claims
# devices the same way, is the peer that must refuse the same device.
# A stick nobody holds is cleaned.
# usage: claims_test.sh <diskpart>   (root only; skipped otherwise)
set -euo pipefail
diskpart="$1"
[ "$(id -u)" -eq 0 ] || { echo "needs root: skipped"; exit 77; }
work="$(mktemp -d /tmp/kx-claims-XXXXXX)"
holders=()
loops=()
cleanup() {
  for p in "${holders[@]}"; do
    nsenter -t "$p" -m swapoff "$work/mnt/swapfile" 2>/dev/null || true
    kill "$p" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  for m in "$work/merged" "$work/mnt" "$work/lower"; do mountpoint -q "$m" 2>/dev/null && umount -l "$m"; done
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null || true; done
  for l in $(losetup -j "$work/usb.img" -O NAME -n 2>/dev/null); do losetup -d "$l" || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

truncate -s 96M "$work/usb.img"
printf 'label: dos\nstart=2048,type=83\n' | sfdisk -q "$work/usb.img"
stick="$(losetup -f --show "$work/usb.img")"; loops+=("$stick")
# The partition as a loop device stacked on the stick (kernels without
# partition tables make no partition devices of loop devices).
part="$(losetup -f --show -o 1048576 "$stick")"; loops+=("$part")
mkfs.ext4 -q -E lazy_itable_init=0,lazy_journal_init=0 "$part"
mkdir -p "$work/drive_e" "$work/mnt" "$work/lower" "$work/upper" "$work/work" "$work/merged" "$work/ns"
printf '[disk 1]\nimage = %s\nsize_mb = 96\nbus = usb\nremovable = yes\n\n[drive E]\nfolder = drive_e\ntype = removable\ndisk = 1\npartition = 1\n' \
  "$stick" > "$work/machine.ini"
printf 'sel disk 1\r\nclean\r\ncrea part prim\r\nexit\r\n' > "$work/clean.txt"

# The disk's bytes: all of them, or (for active swap, which the kernel may
# write to at any time) the first and the last MiB, which clean rewrites.
fingerprint() {
  if [ "$1" = swap ]; then
    { head -c 1048576 "$work/usb.img"; tail -c 1048576 "$work/usb.img"; } | sha256sum
  else
    sha256sum < "$work/usb.img"
  fi
}

# $1: the case; $2: the device mkfs.ext4 must refuse as well; $3: "swap"
# when the disk holds active swap.
refused() {
  local name="$1" device="$2" kind="${3:-}" before rc=0
  sync
  before="$(fingerprint "$kind")"
  KESTRUNEX_PREFIX="$work" "$diskpart" /s "$work/clean.txt" >"$work/out" 2>&1 || rc=$?
  [ "$rc" -eq 3 ] || { cat "$work/out"; fail "$name: exited $rc, not 3"; }
  grep -q "DiskPart refuses to change disk 1: in use by the system (/dev/loop" "$work/out" ||
    { cat "$work/out"; fail "$name: the refusal does not name the reason and the device"; }
  sync
  [ "$(fingerprint "$kind")" = "$before" ] || fail "$name: the disk changed"
  rc=0
  mkfs.ext4 -n -F "$device" >"$work/peer" 2>&1 || rc=$?
  if [ "$rc" -eq 0 ] || ! grep -q "in use by the system" "$work/peer"; then
    cat "$work/peer"
    fail "$name: mkfs.ext4 does not refuse $device"
  fi
  echo "refused: $name"
}

# Holds a mount in a namespace of its own until killed; waits for it.
hold_in_namespace() {
  unshare -m --propagation private sh -c "$1 && touch '$work/ns/ready' && exec sleep 300" &
  holders+=($!)
  for _ in $(seq 100); do [ -e "$work/ns/ready" ] && break; sleep 0.1; done
  rm -f "$work/ns/ready"
}
release_namespace() {
  nsenter -t "${holders[-1]}" -m swapoff "$work/mnt/swapfile" 2>/dev/null || true
  kill "${holders[-1]}"; wait "${holders[-1]}" 2>/dev/null || true
  unset 'holders[-1]'
  sleep 0.2
}

hold_in_namespace "mount -o ro,noload '$part' '$work/mnt'"
refused "partition mounted only in another mount namespace" "$part"
release_namespace

mount -o ro,noload "$part" "$work/lower"
mount -t overlay overlay -o "lowerdir=$work/lower,upperdir=$work/upper,workdir=$work/work" "$work/merged"
umount -l "$work/lower"
refused "lower layer of an overlay" "$part"
umount "$work/merged"

# The swap file's file system is mounted only where its swap was turned on.
hold_in_namespace "mount '$part' '$work/mnt' && fallocate -l 8M '$work/mnt/swapfile' &&
  chmod 600 '$work/mnt/swapfile' && mkswap -q '$work/mnt/swapfile' >/dev/null && swapon '$work/mnt/swapfile'"
grep -q swapfile /proc/swaps || fail "the swap file could not be turned on"
refused "swap file on the stick" "$part" swap
release_namespace
grep -q swapfile /proc/swaps && fail "the test's swap file is still on"

# Here and in another namespace: the choice passes (the mount here is
# unmounted first), the clean does not.
hold_in_namespace "mount -o ro,noload '$part' '$work/mnt'"
mount -o ro,noload "$part" "$work/mnt"
refused "partition mounted here and in another namespace" "$part"
mountpoint -q "$work/mnt" && fail "the mount here was not unmounted first"
release_namespace

rc=0
KESTRUNEX_PREFIX="$work" "$diskpart" /s "$work/clean.txt" >"$work/out" 2>&1 || rc=$?
[ "$rc" -eq 0 ] || { cat "$work/out"; fail "a stick nobody holds was not cleaned ($rc)"; }
echo "a stick nobody holds is cleaned"
echo "all claims held"
