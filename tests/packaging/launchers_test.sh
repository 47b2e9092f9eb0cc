#!/usr/bin/env bash
# The launchers hand the wizard nothing but one regular file: the desktop
# action's kestrunex-pkexec (before pkexec runs anything as root) and the
# wizard's /usr/bin launcher (what pkexec runs). A stand-in pkexec records
# what it was given and ends with the code a case asks for.
#   launchers_test.sh SOURCE_DIR
set -euo pipefail
src="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/usr/bin" "$work/usr/libexec/kestrunex"
cat > "$work/bin/pkexec" <<'STANDIN'
#!/bin/sh
printf '%s\n' "$@" > "$KX_RECORD"
exit "${KX_PKEXEC_EXIT:-0}"
STANDIN
cat > "$work/usr/libexec/kestrunex/kestrunex" <<'STANDIN'
#!/bin/sh
printf '%s\n' "$@" > "$KX_RECORD"
STANDIN
sed 's/@program@/kestrunex/' "$src/packaging/launcher.in" > "$work/usr/bin/kestrunex"
chmod +x "$work/bin/pkexec" "$work/usr/bin/kestrunex" "$work/usr/libexec/kestrunex/kestrunex"
cd "$work"
: > win7.iso
: > ./-platformpluginpath
mkfifo pipe
mkdir folder
export KX_RECORD="$work/record"

status=0
# name | launcher | arguments | pkexec's exit | expected exit | expected record ("-" = nothing ran)
while IFS='|' read -r name launcher args pkexit want record; do
  rm -f "$KX_RECORD"
  rc=0
  # shellcheck disable=SC2086  # args is a list of words
  KX_PKEXEC_EXIT="$pkexit" PATH="$work/bin:/usr/bin:/bin" "$launcher" $args >/dev/null 2>&1 || rc=$?
  got=$( [ -e "$KX_RECORD" ] && tr '\n' ' ' < "$KX_RECORD" || echo "-")
  if [ "$rc" != "$want" ] || [ "${got% }" != "$record" ]; then
    echo "FAIL ($name): exit $rc (want $want), ran with: $got (want $record)"
    status=1
  else
    echo "ok ($name)"
  fi
done <<TABLE
no file|$src/packaging/kestrunex-pkexec||0|0|/usr/bin/kestrunex
a file as an absolute path|$src/packaging/kestrunex-pkexec|win7.iso|0|0|/usr/bin/kestrunex $work/win7.iso
a file named like an option|$src/packaging/kestrunex-pkexec|-platformpluginpath|0|0|/usr/bin/kestrunex $work/-platformpluginpath
two arguments|$src/packaging/kestrunex-pkexec|-platform xcb|0|2|-
a pipe|$src/packaging/kestrunex-pkexec|pipe|0|2|-
a folder|$src/packaging/kestrunex-pkexec|folder|0|2|-
dialog dismissed|$src/packaging/kestrunex-pkexec|win7.iso|126|0|/usr/bin/kestrunex $work/win7.iso
wizard launcher, a file|$work/usr/bin/kestrunex|win7.iso|0|0|win7.iso
wizard launcher, a file named like an option|$work/usr/bin/kestrunex|-platformpluginpath|0|0|./-platformpluginpath
wizard launcher, options|$work/usr/bin/kestrunex|-platformpluginpath $work -platform x|0|2|-
wizard launcher, a pipe|$work/usr/bin/kestrunex|pipe|0|2|-
TABLE
exit $status
