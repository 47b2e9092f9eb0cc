#!/usr/bin/env bash
# kestrunex-cli run by root for an unprivileged user (SUDO_UID=65534) on a
# prefix that user owns: the user's link to a root-only read-only loop
# device given as --source, and a profile of theirs naming a root-only disk
# image as the stick, are both refused with the reason before anything is
# read or written; so is a driver package of theirs holding a hard link to
# a root-only file. The victims are unchanged and nothing is made. Root
# only (loop devices, two users), else skipped.
# shellcheck disable=SC1003  # 'G:\' and the like are Windows paths: a backslash ends them, no quote is escaped
set -euo pipefail
cli="$1"
[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root to act for another user and to make loop devices"; exit 77; }
dir=$(mktemp -d)
loop=""
cleanup() {
  [ -z "$loop" ] || losetup --detach "$loop"
  rm -rf "$dir"
}
trap cleanup EXIT
export LC_ALL=C LANG=C
fail() { echo "FAIL: $*" >&2; exit 1; }
as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups -- "$@"; }

# Root's victims: an ISO image only root reads, behind a read-only loop
# device, and a disk image only root reads or writes.
chmod 755 "$dir"
mkdir "$dir/secret" && echo "root only" >"$dir/secret/secret.txt"
xorriso -as mkisofs -quiet -V SECRET -o "$dir/victim.iso" "$dir/secret" 2>/dev/null
truncate -s 64M "$dir/victim.img"
chmod 600 "$dir/victim.iso" "$dir/victim.img"
loop=$(losetup --find --show --read-only "$dir/victim.iso")
before=$(sha256sum <"$dir/victim.img")

# The user's prefix and what they plant in it.
mkdir -p "$dir/user" "$dir/prefix/iso"
chown -R 65534:65534 "$dir/user" "$dir/prefix"
as_user ln -s "$loop" "$dir/user/source.iso"
profile() {  # the user's machine, with more sections
  { printf '[drive G]\nfolder = %s\ntype = fixed\n' "$dir/prefix/iso"; cat; } >"$dir/prefix/machine.ini"
  chown 65534:65534 "$dir/prefix/machine.ini"
}

run() {  # run RC PATTERN ARGS...: as root for the user
  local want="$1" pattern="$2" rc=0; shift 2
  SUDO_UID=65534 "$cli" --prefix "$dir/prefix" "$@" </dev/null >"$dir/out" 2>&1 || rc=$?
  cat "$dir/out"
  [ "$rc" -eq "$want" ] || fail "kestrunex-cli $* exited $rc, not $want"
  grep -q -- "$pattern" "$dir/out" || fail "kestrunex-cli $* did not say: $pattern"
}

# Each case: a profile, the command line, what the refusal says.
profile </dev/null
run 1 "source.iso: Permission denied" --source "$dir/user/source.iso" --iso 'G:\' --yes
[ -z "$(ls "$dir/prefix/iso")" ] || fail "something was made from the root-only device"

printf '[disk 1]\nimage = %s\nbus = usb\nremovable = yes\n[drive F]\ntype = removable\nfolder = %s\ndisk = 1\n' \
  "$dir/victim.img" "$dir/prefix/iso" | profile
run 1 "the disk image $dir/victim.img cannot be opened as user 65534: Permission denied" \
  --source "$dir/user/source.iso" --usb 'F:\' --yes
[ "$(sha256sum <"$dir/victim.img")" = "$before" ] || fail "the root-only disk image changed"

# A package folder of the user's with a hard link to a file only root reads
# (made by root: the kernel keeps users from linking others' files).
mkdir "$dir/user/pkg" && echo "[Version]" >"$dir/user/pkg/a.inf"
echo "root only" >"$dir/secret.key" && chmod 600 "$dir/secret.key"
ln "$dir/secret.key" "$dir/user/pkg/b.sys"
chown 65534:65534 "$dir/user/pkg" "$dir/user/pkg/a.inf"
printf '[drivers]\nlibrary = %s\n' "$dir/prefix/lib" | profile
run 1 "b.sys: Permission denied" drivers add "$dir/user/pkg"
! grep -rq "root only" "$dir/prefix" || fail "the root-only file reached the user's library"
echo "PASS"
