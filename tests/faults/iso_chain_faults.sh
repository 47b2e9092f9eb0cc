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
set -euo pipefail
set -m  # background jobs keep SIGINT, as at a terminal
cli="$1" fake="$2" make_machine="$3"
dir=$(mktemp -d)
cleanup() {
  [ -s "$dir/toolpid" ] && kill -9 "$(cat "$dir/toolpid")" 2>/dev/null
  [ -n "${KX_KEEP:-}" ] || rm -rf "$dir"
}
trap cleanup EXIT
export LC_ALL=C LANG=C

prog="$dir/program"
cp -r "$(dirname "$cli")" "$prog"
for arch in x86 amd64; do
  mkdir -p "$prog/Oscdimg_$arch/Oscdimg"
  cp "$fake" "$prog/Oscdimg_$arch/Oscdimg/oscdimg.exe"
done
export KESTRUNEX_PREFIX="$dir/prefix"
"$make_machine" "$KESTRUNEX_PREFIX" >/dev/null 2>&1
src="$KESTRUNEX_PREFIX/dvd" isos="$KESTRUNEX_PREFIX/images"
data="$KESTRUNEX_PREFIX/drive_c/ProgramData/Ovanta/Kestrunex"
log="$data/RAREzodav.log"
iso="$isos/GRMCULFRER_EN_DVD.iso"
head -c 64M /dev/urandom >"$src/sources/bulk.bin"
head -c 64M /dev/urandom >"$prog/Other/x64/bulk.bin"
head -c 64M /dev/urandom >"$prog/OS/bulk.bin"
checksums() { (cd "$src" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
checksums >"$dir/source.sum"

fail() { echo "FAIL [$case]: $*" >&2; exit 1; }
QUICK_TOOL="out: 50% complete\n|out:100% complete\n|exit:0"
# A tool that writes part of its image, then works on until stopped.
SLOW_TOOL="record:$iso|pid:$dir/toolpid|out: 10% complete\n|sleep:60000"

# run SIGNAL STEPS: runs the ISO mode; after the status lines matching each
# of the '|'-separated STEPS in turn, sends SIGNAL (none: no signal;
# REMOVE-SOURCE: removes the source drive's folder instead). Sets
# rc; the output is in $dir/out. A run that does not end in 60 s fails.
# Another instance on this machine (another test's) holds the machine-wide
# lock for a while: wait for it rather than fail.
run() {
  for _ in $(seq 60); do
    run_once "$@"
    grep -q "already running" "$dir/out" || return 0
    sleep 1
  done
  fail "the single-instance lock is never free"
}
run_once() {
  local signal="$1" pending="$2" line sent=0
  rm -f "$dir/out" "$dir/toolpid" "$dir/pipe" "$iso"
  mkdir -p "$data" && : >"$log"
  mkfifo "$dir/pipe"
  "$prog/kestrunex-cli" --iso 'G:\' >"$dir/pipe" 2>&1 </dev/null &
  pid=$!
  local status=0
  while :; do
    IFS= read -r -t 60 line || { status=$?; break; }
    echo "$line" >>"$dir/out"
    [ "$sent" = 1 ] || [ "$signal" = none ] && continue
    if [[ "$line" == *"${pending%%|*}"* ]]; then
      if [[ "$pending" == *"|"* ]]; then pending="${pending#*|}"
      elif [ "$signal" = REMOVE-SOURCE ]; then rm -rf "$src"; sent=1
      else kill "-$signal" "$pid"; sent=1; fi
    fi
  done <"$dir/pipe"
  if [ "$status" -gt 128 ]; then
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    fail "the program hangs: $(tail -3 "$dir/out")"
  fi
  rc=0; wait "$pid" || rc=$?
  [ "$signal" = none ] || [ "$sent" = 1 ] || grep -q "already running" "$dir/out" ||
    fail "step not seen: $pending: $(tail -3 "$dir/out")"
}

# What every case must leave.
check_clean() {
  checksums | cmp -s - "$dir/source.sum" || fail "the source changed"
  local records="$KESTRUNEX_PREFIX/dism-mounts.txt"
  [ ! -f "$records" ] || ! grep -qv '^kx-dism-mounts' "$records" ||
    fail "a servicing mount is still recorded: $(cat "$records")"
  ! grep -q " $dir" /proc/mounts || fail "a mount is left: $(grep " $dir" /proc/mounts)"
  ! compgen -G "$isos/OvantaToolTmp*" >/dev/null && ! compgen -G "$data/OvantaToolTmp*" >/dev/null ||
    fail "work folder left behind"
}

# Ctrl+C at each step: case | status lines to wait for | the last copy the
# run made (a cancel stops the chain: no later step runs) | the trace line
# of the step's stop | whether the ISO tool's partial file stays. A copy
# stops in the middle of a file (fails, its target emptied) or between two
# files; servicing cannot be stopped and ends its step first.
cancel_cases=(
  "copy of the source|Copying the installation files|Srcpath.E:|copy-stopped|no"
  "mount|Mounting the Windows image|Srcpath.E:|DISMUNMOUNTOK|no"
  "driver injection|Adding the USB 3.0 drivers|Srcpath.E:|DISMUNMOUNTOK|no"
  "commit|Saving the Windows image|Srcpath.E:|DISMUNMOUNTOK|no"
  "copy of Other|Unmounting|Copying the installation files|Other.x64|copy-stopped|no"
  "copy of OS|Unmounting|copied|Copying the installation files|program.OS|copy-stopped|no"
  "ISO tool|Creating the ISO image|program.OS|MakeISOFile::Cancle|yes"
)
for entry in "${cancel_cases[@]}"; do
  IFS='|' read -r -a f <<<"$entry"
  case="cancel: ${f[0]}"
  n=${#f[@]}
  steps=$(IFS='|'; echo "${f[*]:1:n-4}")
  last_copy="${f[n-3]}" trace="${f[n-2]}" keeps="${f[n-1]}"
  [ "$trace" = copy-stopped ] && trace='BACKUPFAIL\|Excute\] IsStop'
  export KX_FAKE_TOOL="$QUICK_TOOL"
  [ "$keeps" = yes ] && export KX_FAKE_TOOL="$SLOW_TOOL"
  run INT "$steps"
  [ "$rc" -eq 2 ] || fail "exit $rc, not 2: $(tail -5 "$dir/out")"
  grep -q "Finish_UserCancel" "$log" || fail "no cancel in the trace log"
  grep -q "$trace" "$log" || fail "the trace log lacks $trace"
  grep -F "[CopyOperation:: Srcpath]" "$log" | tail -1 | grep -q -- "$last_copy" ||
    fail "the cancel did not stop the chain at this step: $(grep -F Srcpath "$log" | tail -1)"
  if [ "$keeps" = yes ]; then
    grep -q "G:.GRMCULFRER_EN_DVD.iso" "$iso" || fail "what the ISO tool wrote is gone"
    ! kill -0 "$(cat "$dir/toolpid")" 2>/dev/null || fail "the ISO tool still runs"
  else
    [ ! -e "$iso" ] || fail "an ISO image was made"
    ! grep -q "MakeISOThread start" "$log" || fail "the ISO step ran after the cancel"
  fi
  check_clean
  echo "ok: $case"
done

# A boot.wim that cannot be read: a clean failure that names it.
case="damaged boot.wim"
cp "$src/sources/boot.wim" "$dir/boot.wim.good"
truncate -s 40000 "$src/sources/boot.wim"
checksums >"$dir/source.sum"
export KX_FAKE_TOOL="$QUICK_TOOL"
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
run REMOVE-SOURCE "Copying the installation files"
[ "$rc" -eq 1 ] || fail "exit $rc, not 1: $(tail -3 "$dir/out")"
[ ! -e "$iso" ] || fail "an ISO image was made"
grep -q "BACKUPFAIL" "$log" || fail "the copy did not fail"
rm -rf "$src" && mv "$dir/dvd.saved" "$src"
check_clean
echo "ok: $case"
echo "all ISO-chain fault checks passed"
