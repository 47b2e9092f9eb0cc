# Shared by the fault scripts (sourced): a program folder of the test's own
# with the fake tool as the ISO tool, runs of kestrunex-cli signalled at a
# step seen in its status lines, and the checks every case must pass.
# The sourcing script sets: cli, fake, dir, job (the cli's arguments),
# KESTRUNEX_PREFIX, src (the source drive's folder), data (the data folder).

fail() { echo "FAIL [${case:-setup}]: $*" >&2; exit 1; }
QUICK_TOOL="image|out: 50% complete\n|out:100% complete\n|exit:0"
export KX_FAKE_TOOL="$QUICK_TOOL"

# The program folder, with bulk files of MIB MiB in OS and Other so that
# each copy step lasts long enough to be caught inside. Both have the same
# name: the second copy overwrites a file the first one wrote.
make_program() {
  local mib="$1"
  prog="$dir/program"
  cp -r "$(dirname "$cli")" "$prog"
  for arch in x86 amd64; do
    mkdir -p "$prog/Oscdimg_$arch/Oscdimg"
    cp "$fake" "$prog/Oscdimg_$arch/Oscdimg/oscdimg.exe"
  done
  head -c "${mib}M" /dev/urandom >"$prog/Other/x64/bulk.bin"
  head -c "${mib}M" /dev/urandom >"$prog/OS/bulk.bin"
}

# A bulk file of MIB MiB in the source too; then its checksums, compared
# after every case.
checksums() { (cd "$src" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
seal_source() {
  [ -e "$src/sources/bulk.bin" ] || head -c "${1}M" /dev/urandom >"$src/sources/bulk.bin"
  checksums >"$dir/source.sum"
}

# run SIGNAL STEPS: runs the job; after the status lines matching each of
# the '|'-separated STEPS in turn, sends SIGNAL (none: no signal;
# REMOVE-SOURCE: removes the source drive's folder instead). Sets rc; the
# output is in $dir/out. A run that does not end within 60 s of its last
# line fails. Another instance on this machine (another test's) holds the
# machine-wide lock for a while: wait for it rather than fail.
run() {
  for _ in $(seq 60); do
    run_once "$@"
    grep -q "already running" "$dir/out" || return 0
    sleep 1
  done
  fail "the single-instance lock is never free"
}
run_once() {
  local signal="$1" pending="$2" line sent=0 status=0
  rm -f "$dir/out" "$dir/toolpid" "$dir/pipe"
  mkdir -p "$data" && : >"$data/RAREzodav.log"
  mkfifo "$dir/pipe"
  "$prog/kestrunex-cli" "${job[@]}" >"$dir/pipe" 2>&1 </dev/null &
  pid=$!
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

# What every case must leave: the source as it was, no servicing mount
# recorded, no mount of ours, no work folder.
check_clean() {
  checksums | cmp -s - "$dir/source.sum" || fail "the source changed"
  local records="$KESTRUNEX_PREFIX/dism-mounts.txt"
  [ ! -f "$records" ] || ! grep -qv '^kx-dism-mounts' "$records" ||
    fail "a servicing mount is still recorded: $(cat "$records")"
  ! grep -q " $dir" /proc/mounts || fail "a mount is left: $(grep " $dir" /proc/mounts)"
  ! compgen -G "$KESTRUNEX_PREFIX/*/OvantaToolTmp*" >/dev/null && ! compgen -G "$data/OvantaToolTmp*" >/dev/null ||
    fail "work folder left behind"
}

# Ctrl+C at each step of a table: case | status lines to wait for | the
# last copy the run made, "none" before any (a cancel stops the chain: no
# later step runs) |
# the trace line of the step's stop (copy-stopped: a copy stopped in the
# middle of a file, failing with its target emptied, or between two files).
# Servicing cannot be stopped and ends its step first. check_target NAME
# then checks what the step left on the target.
cancel_each_step() {
  local entry f n steps last_copy trace log="$data/RAREzodav.log"
  for entry in "$@"; do
    IFS='|' read -r -a f <<<"$entry"
    case="cancel: ${f[0]}"
    n=${#f[@]}
    steps=$(IFS='|'; echo "${f[*]:1:n-3}")
    last_copy="${f[n-2]}" trace="${f[n-1]}"
    [ "$trace" = copy-stopped ] && trace='BACKUPFAIL\|Excute\] IsStop'
    prepare_case "${f[0]}"
    run INT "$steps"
    [ "$rc" -eq 2 ] || fail "exit $rc, not 2: $(tail -5 "$dir/out")"
    grep -q "Finish_UserCancel" "$log" || fail "no cancel in the trace log"
    grep -q "$trace" "$log" || fail "the trace log lacks $trace"
    { grep -F "[CopyOperation:: Srcpath]" "$log" || echo none; } | tail -1 | grep -q -- "$last_copy" ||
      fail "the cancel did not stop the chain at this step: $(grep -F Srcpath "$log" | tail -1)"
    check_target "${f[0]}"
    check_clean
    echo "ok: $case"
  done
}
