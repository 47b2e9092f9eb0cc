#!/usr/bin/env bash
# Every shell script of the source tree is shellcheck-clean: the files whose
# first line runs sh, bash or dash, wherever they are, so a new script is
# covered without being listed. Build folders (those holding a
# CMakeCache.txt) and the git data are not part of the tree.
#
# usage: shellcheck_test.sh SOURCE_DIR
set -euo pipefail
source_dir="$1"
shellcheck=/usr/bin/shellcheck
[ -x "$shellcheck" ] || { echo "shellcheck is missing (scripts/install-deps installs it)"; exit 1; }

scripts=()
while IFS= read -r -d '' file; do
  IFS= read -r first <"$file" || true
  if [[ "$first" =~ ^\#!.*[/\ ](sh|bash|dash)([[:space:]]|$) ]]; then scripts+=("$file"); fi
done < <(find "$source_dir" \( -name .git -o -type d -exec test -e '{}/CMakeCache.txt' \; \) -prune \
           -o -type f -size -1024k -print0 | sort -z)
[ "${#scripts[@]}" -gt 0 ] || { echo "no shell scripts found under $source_dir"; exit 1; }
echo "${#scripts[@]} shell scripts"
# -x follows the files a script sources where it names them.
"$shellcheck" -x "${scripts[@]}"
