#!/bin/bash
# The ISO-mode job in compatibility mode done by standard tools, step by step
# as the program does it. Prints one line per step ("step NAME SECONDS
# PEAK_KIB") and the total of the steps ("peer SECONDS PEAK_KIB").
#
# usage: peer.sh DVD OTHER BOOT_ADDITIONS INSTALL_ADDITIONS(1..4) BOOTFILES LABEL WORK ISO
set -euo pipefail
dvd="$1" other="$2" add_boot="$3" add_install="$4" bootfiles="$5" label="$6" work="$7" iso="$8"
peak=0
total=0  # the steps' own time, without this script's bookkeeping
step() {  # step NAME COMMAND...: runs and times one step
  local name="$1"; shift
  local t0 t1 rss
  t0=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$work.rss" "$@" >/dev/null
  t1=$(date +%s.%N)
  rss=$(cat "$work.rss")
  [ "$rss" -gt "$peak" ] && peak=$rss
  local elapsed
  elapsed=$(awk "BEGIN {printf \"%.3f\", $t1 - $t0}")
  total=$(awk "BEGIN {printf \"%.3f\", $total + $elapsed}")
  echo "step $name $elapsed $rss"
}
# Our WIM commits reach the disk (fsync); so does the peer's.
fsync_file() { python3 -c 'import os, sys; fd = os.open(sys.argv[1], os.O_RDONLY); os.fsync(fd)' "$1"; }
update() {  # update WIM IMAGE ADDITIONS
  printf 'add %s/Windows /Windows\n' "$3" | wimlib-imagex update "$1" "$2"
  fsync_file "$1"
}
export -f update fsync_file

rm -rf "$work"
step copy-dvd cp -r "$dvd" "$work"
step boot.wim bash -c "update '$work/sources/boot.wim' 2 '$add_boot'"
step copy-other bash -c "cp -r '$other/.' '$work/'"
step install.wim bash -c "for i in 1 2 3 4; do update '$work/sources/install.wim' \$i '$add_install/'\$i; done"
# Our image is written out once before it counts (fsync); so is the peer's.
make_iso() {
  xorriso -as mkisofs -quiet -iso-level 3 -J -joliet-long -V "$label" \
    -b boot/etfsboot.com -no-emul-boot -boot-load-size 8 \
    -eltorito-alt-boot -e boot/efisys.bin -no-emul-boot \
    -hide boot/etfsboot.com -hide boot/efisys.bin -hide-joliet boot/etfsboot.com -hide-joliet boot/efisys.bin \
    -o "$iso" -graft-points "/=$work" "/boot/etfsboot.com=$bootfiles/etfsboot.com" "/boot/efisys.bin=$bootfiles/efisys.bin" &&
    fsync_file "$iso"
}
export -f make_iso
export label iso work bootfiles
step iso bash -c make_iso
step delete-work rm -rf "$work"
rm -f "$work.rss"
echo "peer $total $peak"
