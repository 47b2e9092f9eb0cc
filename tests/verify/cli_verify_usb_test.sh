#!/usr/bin/env bash
# kestrunex-cli in USB mode onto a virtual stick (an image file behind a loop
# device, FAT32 through the file-system daemon, as our diskpart makes it):
# the verification pass reads the stick back through its mounted volume and
# passes on a good stick. Needs root (loop devices), as the USB chain tests.
set -euo pipefail
cli="$1" make_machine="$2"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export LC_ALL=C LANG=C
fail() { echo "FAIL: $*" >&2; exit 1; }

export KESTRUNEX_PREFIX="$dir/prefix"
"$make_machine" "$KESTRUNEX_PREFIX" >/dev/null 2>&1
"$(dirname "$make_machine")/add-virtual-stick" "$KESTRUNEX_PREFIX" 1200
cd "$KESTRUNEX_PREFIX"

tries=0
while :; do
  rc=0
  "$cli" --usb F: --yes >"$dir/out" 2>&1 </dev/null || rc=$?
  grep -q "already running" "$dir/out" && [ "$tries" -lt 60 ] || break
  tries=$((tries + 1)); sleep 2
done
cat "$dir/out"
[ "$rc" -eq 0 ] || fail "kestrunex-cli --usb F: exited $rc"
grep -q "Verified: every file reads back" "$dir/out" || fail "the stick was not verified"
grep -q "\[CheckProduct\] begin $KESTRUNEX_PREFIX/volumes/" drive_c/ProgramData/Ovanta/Kestrunex/RAREzodav.log ||
  fail "the stick was not read through its mounted volume"
echo "the stick verified"
