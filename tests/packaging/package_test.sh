#!/usr/bin/env bash
# Unpacks the built Debian package (package_build.sh) with dpkg -x into a
# scratch root and runs the installed command from there: --help, then a
# headless ISO job on a generated sample machine.
# shellcheck disable=SC1003  # 'G:\' and the like are Windows paths: a backslash ends them, no quote is escaped
source=$1
out=$2
# shellcheck source-path=SCRIPTDIR source=../cli/clikit.sh
source "$source/tests/cli/clikit.sh"
scratch=$dir

deb=$(ls "$out"/*.deb)
echo "package: $(basename "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
if grep -q -- '-dev\b' <<<"$depends"; then echo "FAIL: a -dev package among the dependencies"; exit 1; fi
dpkg -x "$deb" "$scratch/root"
for f in usr/bin/kestrunex-cli usr/bin/kestrunex-drives usr/libexec/kestrunex/config.xml \
         usr/libexec/kestrunex/OvMultiLang.dll usr/libexec/kestrunex/OS/AutoUnattend \
         usr/share/applications/kestrunex.desktop usr/share/man/man1/kestrunex-cli.1.gz \
         usr/share/polkit-1/actions/org.kestrunex.wizard.policy; do
  [ -e "$scratch/root/$f" ] || { echo "FAIL: $f missing from the package"; exit 1; }
done

# Read whole before grep: a grep that ends at its first match would close
# the pipe under the rest of the text.
usage=$("$scratch/root/usr/bin/kestrunex-cli" --help)
grep -q -- '--iso' <<<"$usage" || { echo "FAIL: --help"; exit 1; }

# No driver ships in the package: they come from the machine's library.
if grep -rIl "not a working driver" "$scratch/root" >/dev/null || [ -n "$(find "$scratch/root" -iname '*.sys')" ]; then
  echo "FAIL: the package holds a driver"; exit 1
fi

# The sample machine's library gets the sample packages through the installed command.
KESTRUNEX_CLI="$scratch/root/usr/bin/kestrunex-cli" \
  "$source/scripts/make-sample-machine" "$scratch/machine" >"$scratch/sample.log" 2>&1 \
  || { cat "$scratch/sample.log"; exit 1; }
KESTRUNEX_PREFIX="$scratch/machine" unlocked "$scratch/job.log" "$scratch/root/usr/bin/kestrunex-cli" --iso 'G:\' --no
if [ "$rc" -ne 0 ]; then cat "$scratch/job.log"; echo "FAIL: the installed command's ISO job exited $rc"; exit 1; fi
iso=$(sed -n -e 's/ ([A-Z]:\\[^)]*)$//' -e 's/^ISO file: //p' "$scratch/job.log" | tail -n 1)
[ -s "$iso" ] || { cat "$scratch/job.log"; echo "FAIL: no ISO written"; exit 1; }
xorriso -indev "$iso" -find /sources -name boot.wim 2>/dev/null | grep -qi boot.wim \
  || { echo "FAIL: the ISO holds no sources/boot.wim"; exit 1; }
echo "PASS: installed package ran an ISO job ($iso)"
