#!/usr/bin/env bash
# kestrunex-cli in USB mode with an ISO file as its source: the image (made
# by our oscdimg, UDF with its bridge) is read as drive D: and copied onto a
# virtual stick, which the verification reads back and compares with the
# image. The USB mode needs root (loop devices): without it, skipped.
cli="$1" make_machine="$2"
[ "$(id -u)" = 0 ] || { echo "skipped: the USB mode needs root"; exit 77; }
# shellcheck source-path=SCRIPTDIR source=clikit.sh
source "$(dirname "$0")/clikit.sh"

export KESTRUNEX_PREFIX="$dir/prefix"
sample_machine --stick 1200 "$KESTRUNEX_PREFIX"
"$(dirname "$cli")/Oscdimg_x86/Oscdimg/oscdimg.exe" -lGRMCULFRER_EN_DVD -m -o -u1 -udfver102 \
  "$KESTRUNEX_PREFIX/dvd" "$dir/win7.iso" >/dev/null

unlocked "$dir/out" "$cli" --source "$dir/win7.iso" --usb F: --yes
cat "$dir/out"
[ "$rc" -eq 0 ] || fail "kestrunex-cli --source win7.iso --usb F: exited $rc"
grep -q "ISO image as optical drive D: = $dir/win7.iso" "$dir/out" || fail "the image's drive was not shown"
grep -q "Verified: every file reads back" "$dir/out" || fail "the stick was not verified"
grep -q " $KESTRUNEX_PREFIX/" /proc/mounts && fail "a mount of the stick was left behind"
echo "the stick made from an ISO file verified"
