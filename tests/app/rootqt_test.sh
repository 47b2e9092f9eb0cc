#!/usr/bin/env bash
# The wizard as root loads no code its caller names: a Qt platform plugin
# handed over as an option or through Qt's variables is never loaded (its
# constructor would leave a file). The same plugin is loaded when a user
# runs the wizard with it, so the plugin itself is known to work.
#   rootqt_test.sh PROGRAM_FOLDER PLUGIN_LIBRARY
set -euo pipefail
program="$1/kestrunex"
plugin="$2"
[ "$(id -u)" = 0 ] || { echo "needs root (runs the wizard as root and as nobody)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir -p "$work/plugins/platforms" "$work/prefix"
cp "$plugin" "$work/plugins/platforms/"
chmod -R a+rwX "$work/plugins"
chown 65534:65534 "$work/prefix"
marker="$work/plugins/platforms/loaded"

# Runs the wizard with a clean environment plus the given NAME=value words
# and arguments; as whom is the first word ("root" or "nobody").
run() {
  local who="$1" vars="$2"
  shift 2
  local -a as=()
  [ "$who" = nobody ] && as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  # shellcheck disable=SC2086  # vars is a list of words
  timeout 60 "${as[@]}" env -i PATH=/usr/bin:/bin KESTRUNEX_PREFIX="$work/prefix" $vars "$program" "$@" \
    >"$work/out" 2>&1 || true
}

run nobody "" -platformpluginpath "$work/plugins/platforms" -platform kxmarker
[ "$(cat "$marker" 2>/dev/null)" = 65534 ] || { echo "FAIL: the plugin is not loaded even for a user"; cat "$work/out"; exit 1; }
rm -f "$marker"

status=0
while IFS='|' read -r name vars args; do
  # shellcheck disable=SC2086  # args is a list of words
  run root "$vars" $args
  if [ -e "$marker" ]; then
    echo "FAIL ($name): root loaded the caller's plugin"
    status=1
    rm -f "$marker"
  else
    echo "ok ($name)"
  fi
done <<TABLE
option|DISPLAY=:99|-platformpluginpath $work/plugins/platforms -platform kxmarker
option without a display||-platformpluginpath $work/plugins/platforms -platform kxmarker
QT_PLUGIN_PATH|QT_PLUGIN_PATH=$work/plugins QT_QPA_PLATFORM=kxmarker|
QT_QPA_PLATFORM_PLUGIN_PATH|QT_QPA_PLATFORM_PLUGIN_PATH=$work/plugins/platforms QT_QPA_PLATFORM=kxmarker|
offscreen asked, plugin path given|QT_PLUGIN_PATH=$work/plugins|-platformpluginpath $work/plugins/platforms -platform offscreen -platform kxmarker
TABLE
exit $status
