# The opening every kestrunex-cli shell test shares (sourced): strict mode,
# the C locale, a scratch folder removed at exit with whatever else the test
# registered, fail, the sample machine with its failure shown, and runs of
# the command tried again while another instance holds the machine-wide lock.
# The sourcing script sets cli (kestrunex-cli) and make_machine first.
# shellcheck shell=bash disable=SC2154,SC2034  # cli and make_machine come from the sourcing script; rc is read there
set -euo pipefail
export LC_ALL=C LANG=C
dir=$(mktemp -d /tmp/kx-cli-XXXXXX)
kit_cleanups=()
# at_exit COMMAND: run at exit, last registered first, before the scratch
# folder goes (loop devices, mounts, background processes).
at_exit() { kit_cleanups=("$1" "${kit_cleanups[@]}"); }
kit_exit() {
  local c
  for c in "${kit_cleanups[@]}"; do eval "$c" >/dev/null 2>&1 || true; done
  rm -rf "$dir"
}
trap kit_exit EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# sample_machine ARGS...: make-sample-machine with the command under test
# filling its library; its output is shown when it fails.
sample_machine() {
  KESTRUNEX_CLI="$cli" "$make_machine" "$@" >"$dir/sample.log" 2>&1 \
    || { cat "$dir/sample.log"; fail "make-sample-machine $*"; }
}

# unlocked OUT COMMAND...: runs COMMAND (output to OUT, input from
# /dev/null) and sets rc; while the run
# found the lock taken by another instance, waits and runs it again.
KIT_LOCK_TRIES=${KIT_LOCK_TRIES:-120}
unlocked() {
  local out="$1"; shift
  local try
  for try in $(seq "$KIT_LOCK_TRIES"); do
    rc=0
    "$@" >"$out" 2>&1 </dev/null || rc=$?
    grep -q "already running" "$out" || return 0
    [ "$try" -lt "$KIT_LOCK_TRIES" ] && sleep 2
  done
}
