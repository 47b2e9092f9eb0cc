#!/usr/bin/env bash
# kestrunex-cli on a sample machine: --help (the driver subcommands' too),
# the refusals of the source and target checks, the single-instance lock, an
# ISO-mode run that succeeds (host paths in its lines) and one that fails,
# Ctrl+C while the ISO tool runs, the erase question at a terminal, and USB
# disks named by image file and loop device. The program runs from a program
# folder of the test's own, with the fake tool as the ISO tool.
# shellcheck disable=SC1003  # 'G:\' and the like are Windows paths: a backslash ends them, no quote is escaped
cli="$1" fake="$2" make_machine="$3"
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=clikit.sh
source "$here/clikit.sh"
set -m  # background jobs keep Ctrl+C (SIGINT), as at a terminal
holder=""
# shellcheck disable=SC2016  # expanded at exit, when the holder is known
at_exit '[ -z "$holder" ] || kill -9 "$holder"'

prog="$dir/program"
cp -r "$(dirname "$cli")" "$prog"
for arch in x86 amd64; do
  mkdir -p "$prog/Oscdimg_$arch/Oscdimg"
  cp "$fake" "$prog/Oscdimg_$arch/Oscdimg/oscdimg.exe"
done
export KESTRUNEX_PREFIX="$dir/prefix"
sample_machine "$KESTRUNEX_PREFIX"
data="$KESTRUNEX_PREFIX/drive_c/ProgramData/Ovanta/Kestrunex"

# expect RC PATTERN ARGS...: runs the command, checks its status and output.
expect() {
  local want="$1" pattern="$2"; shift 2
  local command=(env ${KX_CLI_LOCALE:+LC_ALL=$KX_CLI_LOCALE} "$prog/kestrunex-cli" "$@")
  if [ "$pattern" = "already running" ]; then
    rc=0; "${command[@]}" >"$dir/out" 2>&1 </dev/null || rc=$?
  else
    unlocked "$dir/out" "${command[@]}"
  fi
  cat "$dir/out"
  [ "$rc" -eq "$want" ] || fail "kestrunex-cli $* exited $rc, not $want"
  grep -q -- "$pattern" "$dir/out" || fail "kestrunex-cli $* did not say: $pattern"
}

expect 0 "--iso FOLDER" --help
# Every driver subcommand has its help; the bare command is a usage error
# that quotes it without a trailing blank.
expect 0 "drivers check \[--lspci FILE\]" drivers check --help
for verb in list add remove; do expect 0 "drivers (add" drivers "$verb" --help; done
expect 1 "used: drivers$" drivers
expect 1 "Unknown option: --format" --iso 'G:\' --format
KX_CLI_LOCALE=de_DE.UTF-8 expect 1 "Unbekannte Option: --format" --iso 'G:\' --format
expect 1 "needs a value: --iso" --iso
expect 0 "^kestrunex-cli [0-9][0-9.]*$" --version
expect 1 "not an optical drive: $KESTRUNEX_PREFIX/[a-z]* (F:" --source F: --iso 'G:\'
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
# The trace log is named as the file to open: its host path.
grep -qx "Trace log: $data/RAREzodav.log" "$dir/out" || fail "the trace log is not named by its host path"
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

# Questions at a terminal (at_terminal.py WAIT_FOR INPUT COMMAND...).
at_terminal() {
  local out="$1"; shift
  unlocked "$out" "$here/at_terminal.py" "$@"
  cat "$out"
  return "$rc"
}
unset KX_FAKE_TOOL

# --usb by a virtual disk's image file: its first partition's volume; a disk
# without a partition and a file that is no disk of the machine are refused.
sample_machine --stick-only 64 --unpartitioned "$dir/blank.img"
# Sparse, large enough for the sample DVD and its headroom, one FAT32
# partition at 1 MiB: the stick the questions are asked for, and one no
# profile names.
sample_machine --stick-only 1024 "$dir/stick.img"
sample_machine --stick-only 1024 "$dir/bought.img"
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
# The erase question: its prompt shows the default in the user's language;
# No, Enter alone and Ctrl+C keep the disk, say so and exit 2. Ctrl+C is
# typed at once as well, the moment the prompt shows, several times: the
# signal is taken before the prompt is written.
for typed in '^C' '' 'nein' '^C!' '^C!' '^C!' '^C!' '^C!'; do
  rc=0
  at_terminal "$dir/out" "[j/N]:" "$typed" env LC_ALL=de_DE.UTF-8 "$prog/kestrunex-cli" --usb H: || rc=$?
  [ "$rc" -eq 2 ] || fail "answer '$typed' at the terminal: exit $rc, not 2"
  grep -q "Es wurde nichts geändert." "$dir/out" || fail "answer '$typed': no line says nothing was changed"
done
grep -qF "Test Stick, 1.0 GiB, $dir/stick.img" "$dir/out" || fail "the erase question does not name the stick"

expect 2 "Test Stick, 1.0 GiB, $dir/stick.img" --usb "$dir/stick.img"
grep -q "H:" "$dir/out" || fail "--usb IMAGE is not the volume H:"
expect 1 "no partition" --usb "$dir/blank.img"
expect 1 "No disk of this computer is this device or image file: /dev/null" --usb /dev/null
grep -q "a loop device over a disk image file (/dev/loop0)" "$dir/out" || fail "the refusal does not say what would work"

# A disk image, or a loop device over one, that no profile names is a USB
# disk: the same checks and question. A loop device over a block device
# (here another loop device, never a real disk) is refused.
expect 2 "Nothing was changed." --usb "$dir/bought.img"
grep -qF "1.0 GiB, $dir/bought.img" "$dir/out" || fail "the question for an image no profile names does not name it"
if [ "$(id -u)" -eq 0 ]; then
  loop=$(losetup -f --show -P "$dir/bought.img")
  at_exit "losetup -d $loop"
  expect 2 "Nothing was changed." --usb "$loop"
  grep -qF "1.0 GiB, $loop" "$dir/out" || fail "the question for $loop does not name it"
  stacked=$(losetup -f --show "$loop")
  at_exit "losetup -d $stacked"
  expect 1 "reads a block device, not an image file; give that device itself instead: $loop" --usb "$stacked"
  # A format that fails (the device is read-only): after yes to the erase
  # question, no to the recovery question fails the run, and the last line
  # says what the disk holds.
  cp --sparse=always "$dir/bought.img" "$dir/readonly.img"
  readonly_loop=$(losetup -r -f --show -P "$dir/readonly.img")
  at_exit "losetup -d $readonly_loop"
  rc=0
  at_terminal "$dir/out" "[y/N]:" y "(y/n):" n -- "$prog/kestrunex-cli" --usb "$readonly_loop" || rc=$?
  [ "$rc" -eq 1 ] || fail "no at the recovery question: exit $rc, not 1"
  grep -q "USB disk may be left partly formatted" "$dir/out" || fail "no line on the disk's state after the failed format"
fi
echo "all kestrunex-cli checks passed"
