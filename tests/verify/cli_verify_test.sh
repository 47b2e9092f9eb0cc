#!/usr/bin/env bash
# kestrunex-cli's verification pass end to end, with our ISO tool: a good
# compatibility-mode run is verified and succeeds; a run whose image lands
# on a medium that drops everything past the first half fails, naming the
# first file that differed; --no-verify keeps the old outcome.
# shellcheck disable=SC1003  # 'G:\' and the like are Windows paths: a backslash ends them, no quote is escaped
cli="$1" make_machine="$2"
# shellcheck source-path=SCRIPTDIR source=../cli/clikit.sh
source "$(dirname "$0")/../cli/clikit.sh"

prog="$dir/program"
cp -r "$(dirname "$cli")" "$prog"
export KESTRUNEX_PREFIX="$dir/prefix"
sample_machine "$KESTRUNEX_PREFIX"
images="$KESTRUNEX_PREFIX/images"

run() {  # run RC OUTPUT-PATTERN ARGS...
  local want="$1" pattern="$2"; shift 2
  unlocked "$dir/out" "$prog/kestrunex-cli" "$@"
  cat "$dir/out"
  [ "$rc" -eq "$want" ] || fail "kestrunex-cli $* exited $rc, not $want"
  grep -q -- "$pattern" "$dir/out" || fail "kestrunex-cli $* did not say: $pattern"
}

run 0 "Verified: every file reads back" --iso 'G:\' --compat
rm -f "$images"/*.iso

# The ISO tool writes a good image, then the medium keeps only its first half
# (the file keeps its size, as a counterfeit stick reports its capacity).
for arch in x86 amd64; do
  tool="$prog/Oscdimg_$arch/Oscdimg"
  mv "$tool/oscdimg.exe" "$tool/oscdimg.real"
  cat >"$tool/oscdimg.exe" <<SH
#!/bin/sh
"$tool/oscdimg.real" "\$@" || exit \$?
for iso in "$images"/kestrunex-image-*.tmp; do
  size=\$(stat -c %s "\$iso")
  dd if=/dev/zero of="\$iso" bs=2048 seek=\$(( size / 4096 )) count=\$(( size / 4096 + 1 )) conv=notrunc 2>/dev/null
  truncate -s "\$size" "\$iso"
done
SH
  chmod +x "$tool/oscdimg.exe"
done
run 1 "did not keep the data written to it.*First file that differed: .* (first difference at byte [0-9]*)" \
  --iso 'G:\' --compat
grep -q "\[CheckProduct\] end(FALSE)" "$KESTRUNEX_PREFIX/drive_c/ProgramData/Ovanta/Kestrunex/RAREzodav.log" ||
  fail "no trace line for the failed verification"
rm -f "$images"/*.iso
run 0 "created successfully" --iso 'G:\' --compat --no-verify
grep -q "Verifying" "$dir/out" && fail "--no-verify still verified"
echo "all verification checks passed"
