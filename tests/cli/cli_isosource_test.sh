#!/usr/bin/env bash
# kestrunex-cli with an ISO file as its source, read by the program itself
# (no mount, no loop device, no root): images of the sample DVD made by our
# oscdimg (UDF with its ISO 9660 bridge) and by xorriso (ISO 9660 and Joliet
# only) each give a verified ISO; the one parsing rule takes a letter, a
# mounted disc's folder and a file; a damaged image is refused, named.
# shellcheck disable=SC1003  # 'G:\' and the like are Windows paths: a backslash ends them, no quote is escaped
cli="$1" make_machine="$2"
# shellcheck source-path=SCRIPTDIR source=clikit.sh
source "$(dirname "$0")/clikit.sh"

prog="$dir/program"
cp -r "$(dirname "$cli")" "$prog"
export KESTRUNEX_PREFIX="$dir/prefix"
sample_machine "$KESTRUNEX_PREFIX"
images="$KESTRUNEX_PREFIX/images"
dvd="$KESTRUNEX_PREFIX/dvd"

"$prog/Oscdimg_x86/Oscdimg/oscdimg.exe" -lGRMCULFRER_EN_DVD -m -o -u1 -udfver102 "$dvd" "$dir/udf.iso" >/dev/null
xorriso -as mkisofs -quiet -iso-level 3 -J -joliet-long -V GRMCULFRER_EN_DVD -o "$dir/joliet.iso" "$dvd" 2>/dev/null

# The ISO mode needs no root: as root, the program runs as nobody.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R 65534:65534 "$dir" && chmod 755 "$dir"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi

run() {  # run RC OUTPUT-PATTERN ARGS...
  local want="$1" pattern="$2"; shift 2
  unlocked "$dir/out" "${as_user[@]}" "$prog/kestrunex-cli" "$@"
  cat "$dir/out"
  [ "$rc" -eq "$want" ] || fail "kestrunex-cli $* exited $rc, not $want"
  grep -q -- "$pattern" "$dir/out" || fail "kestrunex-cli $* did not say: $pattern"
}

for image in udf joliet; do
  rm -f "$images"/*.iso
  # D: is the first letter the sample machine leaves free.
  (cd "$dir" && run 0 "Verified: every file reads back" --source "$image.iso" --iso 'G:\' --yes)
  grep -q "ISO image as optical drive D: = .*$image.iso" "$dir/out" || fail "the image's drive was not shown"
  grep -qF "$image.iso (D:\) ( GRMCULFRER_EN_DVD )" "$dir/out" || fail "the image and its label were not shown"
  product=$(ls "$images"/*.iso)
  # Named by its host path, the drive path after it.
  grep -qxF "ISO file: $product (G:\\$(basename "$product"))" "$dir/out" || fail "the ISO file is not named by its host path"
  xorriso -indev "$product" -find /sources/boot.wim 2>/dev/null | grep -q boot.wim ||
    fail "the product of the $image image holds no sources/boot.wim"
done

# One rule for all three spellings: each reaches the target check with E:.
for source in E: 'e:\' "$dvd"; do
  run 1 "The ISO directory does not exist" --source "$source" --iso "$dir/nowhere"
  grep -qF "$dvd (E:\) ( GRMCULFRER_EN_DVD )" "$dir/out" || fail "--source $source was not read as E:"
done

# Damaged or missing images: refused before anything runs, the file named.
head -c 100000 /dev/urandom >"$dir/noise.iso"
head -c 40000 "$dir/udf.iso" >"$dir/cut.iso"
[ "${#as_user[@]}" -eq 0 ] || chown 65534:65534 "$dir/noise.iso" "$dir/cut.iso"
run 1 "$dir/noise.iso: holds no ISO 9660 or UDF" --source "$dir/noise.iso" --iso 'G:\'
run 1 "$dir/cut.iso: " --source "$dir/cut.iso" --iso 'G:\'
run 1 "$dir/missing.iso: no such drive, folder or file" --source "$dir/missing.iso" --iso 'G:\'
echo "all ISO-source checks passed"
