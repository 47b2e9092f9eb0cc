#!/usr/bin/env bash
# kestrunex-cli on a sample machine: --help, the refusals of the source and
# target checks, the single-instance lock, an ISO-mode run that succeeds and
# one that fails, and Ctrl+C while the ISO tool runs. The program runs from
# a program folder of the test's own, with the fake tool as the ISO tool.
# shellcheck disable=SC1003  # 'G:\' and the like are Windows paths: a backslash ends them, no quote is escaped
set -euo pipefail
set -m  # background jobs keep Ctrl+C (SIGINT), as at a terminal
cli="$1" fake="$2" make_machine="$3"
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
holder=""
cleanup() { [ -n "$holder" ] && kill -9 "$holder" 2>/dev/null; rm -rf "$dir"; }
trap cleanup EXIT
export LC_ALL=C LANG=C

prog="$dir/program"
cp -r "$(dirname "$cli")" "$prog"
for arch in x86 amd64; do
  mkdir -p "$prog/Oscdimg_$arch/Oscdimg"
  cp "$fake" "$prog/Oscdimg_$arch/Oscdimg/oscdimg.exe"
done
export KESTRUNEX_PREFIX="$dir/prefix"
KESTRUNEX_CLI="$cli" "$make_machine" "$KESTRUNEX_PREFIX" >/dev/null
data="$KESTRUNEX_PREFIX/drive_c/ProgramData/Ovanta/Kestrunex"

fail() { echo "FAIL: $*" >&2; exit 1; }
# expect RC PATTERN ARGS...: runs the command, checks its status and output.
# The machine's lock is shared with every other instance on it (a test run
# beside this one): a run that found it taken is tried again.
expect() {
  local want="$1" pattern="$2"; shift 2
  local rc=0
  for _ in $(seq 60); do
    rc=0
    env ${KX_CLI_LOCALE:+LC_ALL=$KX_CLI_LOCALE} "$prog/kestrunex-cli" "$@" >"$dir/out" 2>&1 </dev/null || rc=$?
    [ "$pattern" = "already running" ] && break
    grep -q "already running" "$dir/out" || break
    sleep 2
  done
  cat "$dir/out"
  [ "$rc" -eq "$want" ] || fail "kestrunex-cli $* exited $rc, not $want"
  grep -q -- "$pattern" "$dir/out" || fail "kestrunex-cli $* did not say: $pattern"
}

expect 0 "--iso FOLDER" --help
expect 1 "Unknown option: --format" --iso 'G:\' --format
KX_CLI_LOCALE=de_DE.UTF-8 expect 1 "Unbekannte Option: --format" --iso 'G:\' --format
expect 1 "needs a value: --iso" --iso
expect 0 "^kestrunex-cli [0-9][0-9.]*$" --version
expect 1 "not an optical drive: F:" --source F: --iso 'G:\'
expect 1 "The ISO directory does not exist" --iso 'G:\missing'
expect 1 "not on an NTFS drive" --iso 'F:\'
# A folder stick is no partition of a USB disk: refused before the format
# question (the question itself is tested on a virtual stick).
expect 1 "This is not a USB disk" --usb F:
expect 1 "This is not a USB disk" --usb G:
# An ISO folder inside the work folder would be deleted with it.
mkdir -p "$data/OvantaToolTmp/iso"
expect 1 "must not lie inside the program" --iso 'C:\ProgramData\Ovanta\Kestrunex\OvantaToolTmp\iso'
# A source that is no Windows 7 medium is refused before anything is done.
mv "$KESTRUNEX_PREFIX/dvd/bootmgr" "$dir/bootmgr.away"
expect 1 "bootmgr: missing" --iso 'G:\'
mv "$dir/bootmgr.away" "$KESTRUNEX_PREFIX/dvd/bootmgr"
expect 1 "No drive Q:" --usb Q:

# Another instance holds the machine's lock.
for _ in $(seq 60); do
  KX_FAKE_TOOL='lock:KESTRUNE|sleep:60000' "$fake" >"$dir/holder" &
  holder=$!
  for _ in $(seq 100); do [ -s "$dir/holder" ] && break; sleep 0.1; done
  grep -q locked "$dir/holder" && break
  kill -9 "$holder"; wait "$holder" 2>/dev/null || true; holder=""
  sleep 2
done
grep -q locked "$dir/holder" || fail "the lock holder never got the lock"
expect 1 "already running" --iso 'G:\'
grep -q "Process holding the lock: $holder " "$dir/out" || fail "the lock's holder $holder is not named"
kill -9 "$holder"; wait "$holder" 2>/dev/null || true; holder=""

# A prefix that does not exist is refused, not made.
expect 1 "The prefix folder cannot be used: $dir/absent does not exist" --prefix "$dir/absent" --iso 'G:\'
[ ! -e "$dir/absent" ] || fail "a missing prefix was made"

# A run to its end: progress of every step, the ISO tool's command line,
# the work folder removed afterwards.
# The machine given by --prefix instead of the environment: the ISO tool
# runs on it too.
export KX_FAKE_TOOL="record:$dir/args|image|env:KESTRUNEX_PREFIX|out: 50% complete\n|sleep:50|out:100% complete\n|exit:0"
# shellcheck disable=SC2097,SC2098  # on purpose: the environment names no machine, --prefix the real one
KESTRUNEX_PREFIX="$dir/nowhere" expect 0 "Creating the ISO image" --prefix "$KESTRUNEX_PREFIX" --iso 'G:\' --no-verify
grep -q "^[0-9:.]* $KESTRUNEX_PREFIX" "$data/RAREzodav.log" || fail "the ISO tool did not run on the command's machine"
grep -q "Trace log: C:.ProgramData.Ovanta.Kestrunex.RAREzodav.log" "$dir/out" || fail "no trace log path"
# The tool writes a temporary file, which becomes the image once complete.
grep -qx '\[G:\\kestrunex-image-[0-9A-F]*\.tmp\]' "$dir/args" || fail "ISO path: $(cat "$dir/args")"
[ -f "$KESTRUNEX_PREFIX/images/GRMCULFRER_EN_DVD.iso" ] || fail "no image: $(ls "$KESTRUNEX_PREFIX/images")"
! find "$KESTRUNEX_PREFIX/images" -maxdepth 1 -name 'kestrunex-image-*' | grep -q . || fail "the temporary file is left"
grep -q '^\[-bootdata:2#p0,e,b.*Oscdimg_amd64.Oscdimg.etfsboot.com#pEF,e,b.*efisys.bin\]$' "$dir/args" || fail "boot data"
if [ -e "$data/OvantaToolTmp" ] || [ -e "$KESTRUNEX_PREFIX/images/OvantaToolTmp0" ]; then fail "work folder left behind"; fi
grep -q "ISOOperation Excute - end(TRUE)" "$data/RAREzodav.log" || fail "trace log"
grep -A1 "WIN7_OPERAT_INFO:m_DlgType: 1" "$data/RAREzodav.log" |
  grep -q "\[DriverCoverage\] USB controllers of this computer: .*driver packages for amd64: [1-9]" || fail "no controller summary"

# The tool fails: the run fails.
# A folder given relative to where the command was typed: the program works
# in its own folder, but reads the argument against that one first.
export KX_FAKE_TOOL='out: 20% complete\n|exit:3'
(cd "$(dirname "$KESTRUNEX_PREFIX")" && expect 1 "The operation failed" --iso "$(basename "$KESTRUNEX_PREFIX")/images")
# ... and says which step failed, with that step's last trace line.
grep -q "The run failed at this step: .*ISO" "$dir/out" || fail "no failed step named"
grep -q "Its last trace line: .*Exit Code:3" "$dir/out" || fail "no last trace line"

# Ctrl+C while the tool runs: cancelled, and the tool is gone.
export KX_FAKE_TOOL="image|pid:$dir/pid|out: 10% complete\n|sleep:60000"
for _ in $(seq 60); do
  "$prog/kestrunex-cli" --iso 'G:\' >"$dir/out" 2>&1 </dev/null &
  run=$!
  for _ in $(seq 600); do
    [ -s "$dir/pid" ] && break
    if ! kill -0 "$run" 2>/dev/null; then break; fi
    sleep 0.1
  done
  [ -s "$dir/pid" ] && break
  wait "$run" || true
  grep -q "already running" "$dir/out" || break
  sleep 2
done
[ -s "$dir/pid" ] || fail "the ISO tool never started"
sleep 0.3
kill -INT "$run"
rc=0; wait "$run" || rc=$?
cat "$dir/out"
[ "$rc" -eq 2 ] || fail "Ctrl+C: exit $rc, not 2"
grep -q "Cancelling" "$dir/out" || fail "Ctrl+C: no cancel shown"
if kill -0 "$(cat "$dir/pid")" 2>/dev/null; then fail "the ISO tool still runs"; fi
! find "$KESTRUNEX_PREFIX/images" -maxdepth 1 \( -name 'kestrunex-image-*' -o -name '*DVD0.iso' \) | grep -q . ||
  fail "Ctrl+C left a partial image"

# Questions at a terminal: Ctrl+C cancels (exit 2), Enter alone is the erase
# question's default, No, and German answers are understood. The line under
# the question names the disk.
at_terminal() {
  local out="$1"; shift
  local rc=0
  for _ in $(seq 60); do
    rc=0
    "$here/at_terminal.py" "$@" >"$out" 2>&1 || rc=$?
    grep -q "already running" "$out" || break
    sleep 2
  done
  cat "$out"
  return "$rc"
}
unset KX_FAKE_TOOL

# --usb by a virtual disk's image file: its first partition's volume; a disk
# without a partition and a file that is no disk of the machine are refused.
for disk in blank other; do "$make_machine" --stick-only 64 --unpartitioned "$dir/$disk.img"; done
# Sparse, large enough for the sample DVD and its headroom, one FAT32
# partition at 1 MiB: the stick the questions are asked for.
"$make_machine" --stick-only 1024 "$dir/stick.img"
mkdir -p "$KESTRUNEX_PREFIX/stick2"
cat >>"$KESTRUNEX_PREFIX/machine.ini" <<INI

[disk 2]
image = $dir/stick.img
bus = usb
removable = yes
model = Test Stick

[drive H]
folder = stick2
type = removable
bus = usb
filesystem = FAT32
disk = 2
partition = 1

[disk 3]
image = $dir/blank.img
bus = usb
INI
for typed in '^C' '' 'nein'; do
  rc=0
  at_terminal "$dir/out" "(j/n):" "$typed" env LC_ALL=de_DE.UTF-8 "$prog/kestrunex-cli" --usb H: || rc=$?
  [ "$rc" -eq 2 ] || fail "answer '$typed' at the terminal: exit $rc, not 2"
done
grep -qF "Test Stick, 1.0 GiB, $dir/stick.img" "$dir/out" || fail "the erase question does not name the stick"

expect 2 "Test Stick, 1.0 GiB, $dir/stick.img" --usb "$dir/stick.img"
grep -q "H:" "$dir/out" || fail "--usb IMAGE is not the volume H:"
expect 1 "no partition" --usb "$dir/blank.img"
expect 1 "No disk of this computer" --usb "$dir/other.img"
echo "all kestrunex-cli checks passed"
