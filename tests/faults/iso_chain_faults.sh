#!/usr/bin/env bash
# The ISO chain of kestrunex-cli under faults, on a sample machine of the
# test's own: Ctrl+C at each step, SIGKILL while servicing and while the ISO
# tool runs (then a new run), a damaged boot.wim, the source folder removed
# in the middle of the copy. After every case: the source is unchanged, no
# servicing mount is recorded, no FUSE mount of ours is left, no work folder.
#
# A step is recognised by the cli's status lines; the signal goes the moment
# the line is read. Bulk files in the source and in the program's OS and
# Other folders make each copy step last long enough to be caught inside.
# shellcheck disable=SC1003  # 'G:\' and the like are Windows paths: a backslash ends them, no quote is escaped
set -euo pipefail
set -m  # background jobs keep SIGINT, as at a terminal
cli="$1" fake="$2" make_machine="$3"
dir=$(mktemp -d)
cleanup() {
  [ -s "$dir/toolpid" ] && kill -9 "$(cat "$dir/toolpid")" 2>/dev/null
  [ -n "${KX_KEEP:-}" ] || rm -rf "$dir"
}
trap cleanup EXIT  # KX_KEEP=1 keeps the folder for a look afterwards
export LC_ALL=C LANG=C

export KESTRUNEX_PREFIX="$dir/prefix"
KESTRUNEX_CLI="$cli" "$make_machine" "$KESTRUNEX_PREFIX" >/dev/null 2>&1
src="$KESTRUNEX_PREFIX/dvd" isos="$KESTRUNEX_PREFIX/images"
data="$KESTRUNEX_PREFIX/drive_c/ProgramData/Ovanta/Kestrunex"
log="$data/RAREzodav.log"
iso="$isos/GRMCULFRER_EN_DVD.iso"
# The fake ISO tool writes no image that could be read back: no verification.
job=(--iso 'G:\' --no-verify)
# shellcheck source=faultkit.sh
source "$(dirname "$0")/faultkit.sh"
make_program 64
seal_source 64
# A tool that writes part of its image, then works on until stopped.
SLOW_TOOL="image|pid:$dir/toolpid|out: 10% complete\n|sleep:60000"

prepare_case() {
  rm -f "$iso"
  export KX_FAKE_TOOL="$QUICK_TOOL"
  [ "$1" = "ISO tool" ] && export KX_FAKE_TOOL="$SLOW_TOOL"
  return 0
}
# The ISO step removes what the tool wrote under its temporary name; before
# it, no image is made.
check_target() {
  if [ "$1" = "ISO tool" ]; then
    ! find "$isos" -maxdepth 1 \( -name '*.iso' -o -name 'kestrunex-image-*' \) | grep -q . ||
      fail "a partial image is left: $(ls -A "$isos")"
    ! kill -0 "$(cat "$dir/toolpid")" 2>/dev/null || fail "the ISO tool still runs"
  else
    [ ! -e "$iso" ] || fail "an ISO image was made"
    ! grep -q "MakeISOThread start" "$log" || fail "the ISO step ran after the cancel"
  fi
}
cancel_each_step \
  "copy of the source|Copying the installation files|Srcpath.E:|copy-stopped" \
  "mount|Mounting the Windows image|Srcpath.E:|DISMUNMOUNTOK" \
  "driver injection|Adding the USB 3.0 drivers|Srcpath.E:|DISMUNMOUNTOK" \
  "commit|Saving the Windows image|Srcpath.E:|DISMUNMOUNTOK" \
  "copy of Other|Unmounting|Copying the installation files|Other.x64|copy-stopped" \
  "copy of OS|Unmounting|copied|Copying the installation files|Kestrunex.OS|copy-stopped" \
  "ISO tool|Creating the ISO image|Kestrunex.OS|MakeISOFile::Cancle"

# A boot.wim that cannot be read: a clean failure that names it.
case="damaged boot.wim"
cp "$src/sources/boot.wim" "$dir/boot.wim.good"
truncate -s 40000 "$src/sources/boot.wim"
checksums >"$dir/source.sum"
rm -f "$iso"
run none ""
[ "$rc" -eq 1 ] || fail "exit $rc, not 1"
# The trace log names the image of the step that failed, the servicing log
# says what is wrong with it, and so does the program's own output.
grep -A3 "mWimPath: .*sources.boot.wim" "$log" | grep -q "finish_Fail" || fail "the trace log does not name boot.wim"
grep -q "Error .*boot.wim.*damaged" "$data/log.txt" || fail "the servicing log does not name boot.wim"
grep -q "boot.wim.*damaged" "$dir/out" || fail "the output does not name boot.wim"
[ ! -e "$iso" ] || fail "an ISO image was made"
check_clean
cp "$dir/boot.wim.good" "$src/sources/boot.wim"
checksums >"$dir/source.sum"
echo "ok: $case"

# SIGKILL while servicing and while the ISO tool runs; then a new run.
kill_cases=(
  "servicing|Adding the USB 3.0 drivers"
  "ISO tool|Creating the ISO image"
)
for entry in "${kill_cases[@]}"; do
  IFS='|' read -r name step <<<"$entry"
  case="SIGKILL: $name"
  rm -f "$iso"
  export KX_FAKE_TOOL="$SLOW_TOOL"
  run KILL "$step"
  [ "$rc" -eq 137 ] || fail "exit $rc, not killed"
  if [ "$name" = servicing ]; then
    grep -qv '^kx-dism-mounts' "$KESTRUNEX_PREFIX/dism-mounts.txt" || fail "killed with no mount open: nothing to clean"
  fi
  if [ -s "$dir/toolpid" ]; then
    tool=$(cat "$dir/toolpid")
    for _ in $(seq 50); do kill -0 "$tool" 2>/dev/null || break; sleep 0.1; done
    ! kill -0 "$tool" 2>/dev/null || fail "the ISO tool outlived the program"
  fi
  ! pgrep -f "$prog/" >/dev/null || fail "a child outlived the program: $(pgrep -a -f "$prog/")"
  case="restart after SIGKILL: $name"
  export KX_FAKE_TOOL="$QUICK_TOOL"
  run none ""
  [ "$rc" -eq 0 ] || fail "exit $rc, not 0: $(cat "$dir/out")"
  rm -rf "$isos"/OvantaToolTmp* "$data"/OvantaToolTmp*  # the killed run's, which nobody owns
  check_clean
  echo "ok: $case"
done

# The source drive's folder removed while its copy runs: a failure, no hang.
case="source removed mid-copy"
cp -a "$src" "$dir/dvd.saved"
rm -f "$iso"
run REMOVE-SOURCE "Copying the installation files"
[ "$rc" -eq 1 ] || fail "exit $rc, not 1: $(tail -3 "$dir/out")"
[ ! -e "$iso" ] || fail "an ISO image was made"
grep -q "BACKUPFAIL" "$log" || fail "the copy did not fail"
rm -rf "$src" && mv "$dir/dvd.saved" "$src"
check_clean
echo "ok: $case"
echo "all ISO-chain fault checks passed"
