#!/usr/bin/env bash
# kestrunex-cli interrupted while it reads the stick back: SIGHUP (the
# terminal closed) and SIGTERM cancel the check as Ctrl+C does. The run ends
# as cancelled (exit 2) with a line on the stick's state, and the check's
# own mount, file-system daemon and loop device are gone. Needs root.
cli="$1" make_machine="$2"
[ "$(id -u)" -eq 0 ] || { echo "needs root: skipped"; exit 77; }
# shellcheck source-path=SCRIPTDIR source=../cli/clikit.sh
source "$(dirname "$0")/../cli/clikit.sh"

export KESTRUNEX_PREFIX="$dir/prefix"
sample_machine --stick 1200 "$KESTRUNEX_PREFIX"
# Enough data that the check is still reading when the signal comes.
head -c 150M /dev/urandom > "$KESTRUNEX_PREFIX/dvd/bulk.bin"
cd "$KESTRUNEX_PREFIX"

for signal in HUP TERM; do
  # Another job of the machine may hold the single-instance lock: wait.
  for _ in $(seq 1 60); do
    : >"$dir/out"
    "$cli" --usb F: --yes >"$dir/out" 2>&1 </dev/null &
    pid=$!
    for _ in $(seq 1 1200); do
      grep -q "Verifying" "$dir/out" && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    grep -q "already running" "$dir/out" || break
    wait "$pid" || true
    sleep 2
  done
  grep -q "Verifying" "$dir/out" || { cat "$dir/out"; fail "the check never started"; }
  kill -s "$signal" "$pid"
  rc=0
  wait "$pid" || rc=$?
  cat "$dir/out"
  [ "$rc" -eq 2 ] || fail "SIG$signal during the check ended with $rc, not 2 (cancelled)"
  grep -q "The USB disk holds the new medium, but the check of it was cancelled" "$dir/out" || fail "no line on the state of the stick"
  grep -q " $KESTRUNEX_PREFIX/" /proc/mounts && fail "SIG$signal left a mount of the stick"
  [ -z "$(losetup -j "$KESTRUNEX_PREFIX/stick.img" -O NAME -n)" ] || fail "SIG$signal left a loop device"
done
echo "signals during the check cancel it and release the stick"
