#!/usr/bin/env bash
# kestrunex-drives lists a declared machine and rejects a malformed profile
# with its file and line.
set -euo pipefail
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/dvd" "$dir/stick"
cat > "$dir/machine.ini" <<'INI'
[drive E]
folder = dvd
type = cdrom
label = GRMCULFRER_EN_DVD
filesystem = CDFS
[drive F]
folder = stick
type = removable
bus = usb
label = STICK
filesystem = FAT32
free_mb = 4500
total_mb = 7600
disk = 1
[drive G]
folder = stick
type = removable
ready = no
[disk 1]
size_mb = 7680
bus = usb
INI
out=$(KESTRUNEX_PREFIX="$dir" "$tool")
echo "$out"
grep -Eq '^E:\\ +cdrom +atapi|^E:\\ +cdrom +- +GRMCULFRER_EN_DVD +CDFS' <<<"$out"
grep -Eq '^F:\\ +removable +usb +STICK +FAT32( \([a-z0-9]+\))? +4500 +7600 ' <<<"$out"
grep -Eq '^G:\\ +removable +- +not ready' <<<"$out"
grep -Eq '^C:\\ +fixed' <<<"$out"
grep -Eq '^Z:\\ +remote .* /$' <<<"$out"

printf '[drive E]\nfolder = dvd\ntype = floppy\n' > "$dir/bad.ini"
set +e
err=$("$tool" --profile "$dir/bad.ini" 2>&1)
rc=$?
set -e
echo "$err"
[ "$rc" -eq 2 ]
grep -q "$dir/bad.ini:3:" <<<"$err"
echo "drives command: 2 passed, 0 failed"
