#!/usr/bin/env bash
# Each manual page lists the options its program's --help lists, no more and
# no fewer, so neither drifts from the other. --help needs no display: the
# wizard runs with none here.
# usage: man_usage_test.sh MAN_FOLDER PROGRAM_FOLDER
set -euo pipefail
man=$1 programs=$2
export LC_ALL=C LANG=C
unset DISPLAY WAYLAND_DISPLAY
fail() { echo "FAIL: $*" >&2; exit 1; }

options() { grep -o -- '--[a-z][a-z-]*' | sort -u; }

status=0
for page in kestrunex kestrunex-cli kestrunex-drives; do
  help=$("$programs/$page" --help 2>&1) || fail "$page --help exited $?"
  # In roff a minus is written \-.
  listed=$(sed 's/\\-/-/g' "$man/$page.1" | options)
  shown=$(options <<<"$help")
  if [ "$listed" != "$shown" ]; then
    echo "$page: options of the manual page (<) and of --help (>) differ:"
    diff <(echo "$listed") <(echo "$shown") || true
    status=1
  fi
done
[ "$status" -eq 0 ] || fail "a manual page and its usage text list different options"
echo "PASS: the manual pages list the options their programs' --help list"
