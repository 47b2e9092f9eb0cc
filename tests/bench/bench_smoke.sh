#!/bin/sh
# Runs one benchmark in its smallest form and checks that it gets as far as
# its ratio line: the benchmarks are not timed tests, so the ratio's value
# is never judged (exit status 3, a goal missed, counts as a run), but a
# benchmark that no longer runs fails here.
#
# usage: bench_smoke.sh BUILD PATTERN COMMAND...
#   BUILD: the build folder (already built); PATTERN: an extended regular
#   expression the ratio line matches.
set -u
build="$1" pattern="$2"
shift 2
case " $* " in
  *" --usb "*) [ "$(id -u)" -eq 0 ] || { echo "needs root (loop devices): skipped"; exit 77; } ;;
esac
out=$(mktemp)
trap 'rm -f "$out"' EXIT
rc=0
KX_BUILD_DIR="$build" KX_BENCH_BUILT=1 "$@" >"$out" 2>&1 </dev/null || rc=$?
cat "$out"
if [ "$rc" -ne 0 ] && [ "$rc" -ne 3 ]; then
  echo "FAIL: the benchmark ended with status $rc"
  exit 1
fi
grep -Eq "$pattern" "$out" || { echo "FAIL: no ratio line matching '$pattern'"; exit 1; }
