#!/usr/bin/env bash
# Debian's own package checker on the built packages: no error and no
# warning, overrides (each with its reason) included in the package.
set -euo pipefail
out=$1
lintian=/usr/bin/lintian
[ -x "$lintian" ] || { echo "FAIL: lintian is not installed (scripts/install-deps installs it)"; exit 1; }
packages=("$out"/*.deb "$out"/*.ddeb)
for p in "${packages[@]}"; do [ -f "$p" ] || { echo "FAIL: no package $p"; exit 1; }; done
status=0
report=$("$lintian" --fail-on error,warning --tag-display-limit 0 "${packages[@]}" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$report" || true
[ "$status" -eq 0 ] || { echo "FAIL: lintian exited $status"; exit 1; }
# The programs ship stripped and their debug information is in the debug
# package, found by build id.
ids=$(dpkg-deb -f "$out"/*.ddeb Build-Ids)
[ -n "$ids" ] || { echo "FAIL: the debug package names no build ids"; exit 1; }
listing=$(dpkg-deb -c "$out"/*.ddeb)
for id in $ids; do
  grep -q "usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" <<<"$listing" \
    || { echo "FAIL: no debug file for build id $id"; exit 1; }
done
echo "PASS: lintian clean, $(wc -w <<<"$ids") build ids in the debug package"
