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

# Every profile that cannot be read, whatever stands at its name, ends the
# command with status 2 and "file: reason", quickly, never with an abort.
mkfifo "$dir/fifo"
truncate -s 3G "$dir/huge.ini"
printf '[drive E]\nfolder = d\0vd\n\377\376\0\0[' > "$dir/binary.ini"
bad=0
for spec in "$dir/missing.ini|no such file" "$dir|is a folder" "/dev/zero|not a file" \
            "$dir/fifo|not a file" "$dir/huge.ini|larger than" "|no such file" "$dir/machine.ini/x|missing"; do
  path="${spec%%|*}" reason="${spec#*|}"
  set +e
  err=$(timeout 10 "$tool" --profile "$path" 2>&1)
  rc=$?
  set -e
  if [ "$rc" -ne 2 ] || ! grep -qF "$path: " <<<"$err" || ! grep -qF "$reason" <<<"$err"; then
    echo "FAIL: --profile '$path' gave status $rc: $err"
    bad=$((bad + 1))
  fi
done
set +e
"$tool" --profile "$dir/binary.ini" >/dev/null 2>&1
rc=$?
set -e
[ "$rc" -eq 0 ] || [ "$rc" -eq 2 ] || { echo "FAIL: binary profile gave status $rc"; bad=$((bad + 1)); }

# A declared disk image is checked when the profile is read: only a regular
# file or a block device can be a disk. A disk declared twice names its line.
mkdir "$dir/imgdir"
truncate -s 64M "$dir/good.img"
for spec in "$dir/fifo|pipe" "$dir/imgdir|folder" "/dev/zero|character device" "$dir/absent.img|does not exist" \
            "$dir/good.img|"; do
  image="${spec%%|*}" reason="${spec#*|}"
  printf '[disk 1]\nbus = usb\nimage = %s\n' "$image" > "$dir/disk.ini"
  set +e
  err=$(timeout 10 "$tool" --profile "$dir/disk.ini" 2>&1)
  rc=$?
  set -e
  if [ -z "$reason" ]; then
    [ "$rc" -eq 0 ] || { echo "FAIL: image '$image' gave status $rc: $err"; bad=$((bad + 1)); }
  elif [ "$rc" -ne 2 ] || ! grep -qF "$dir/disk.ini:3: the disk image $image" <<<"$err" || ! grep -qF "$reason" <<<"$err"; then
    echo "FAIL: image '$image' gave status $rc: $err"
    bad=$((bad + 1))
  fi
done
printf '[disk 1]\nsize_mb = 10\n[disk 2]\nsize_mb = 10\n[disk 1]\nsize_mb = 20\n' > "$dir/twice.ini"
set +e
err=$("$tool" --profile "$dir/twice.ini" 2>&1)
rc=$?
set -e
{ [ "$rc" -eq 2 ] && grep -qF "$dir/twice.ini:5: disk 1 is declared twice" <<<"$err"; } ||
  { echo "FAIL: a disk declared twice gave status $rc: $err"; bad=$((bad + 1)); }

# A prefix another user can write is refused with the folder named.
chmod 0777 "$dir/imgdir"
set +e
err=$(KESTRUNEX_PREFIX="$dir/imgdir" "$tool" 2>&1)
rc=$?
set -e
{ [ "$rc" -eq 2 ] && grep -qF "$dir/imgdir can be written by other users" <<<"$err"; } ||
  { echo "FAIL: a prefix others can write gave status $rc: $err"; bad=$((bad + 1)); }
[ "$bad" -eq 0 ]
echo "drives command: 6 passed, 0 failed"
