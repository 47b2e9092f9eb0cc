#!/usr/bin/env bash
# kestrunex-cli and the driver library on a sample machine: with the sample
# packages removed the library is empty and a run refuses (exit 1, the add
# command named, nothing made); then a ZIP download of a vendor without a
# folder of its own (Others) and a 7z download of an Intel package are
# added, and one ISO-mode run carries both: their services and
# critical-device entries in boot.wim image 2's SYSTEM hive, their files in
# the ISO's AutoUnattend folders, and no sample package anywhere. The
# packages' catalogs are signed by the machine's test root; a package whose
# .sys was changed after signing is refused by name, then added with
# --unsigned, and the run warns that it uses it.
# shellcheck disable=SC1003  # 'G:\' and the like are Windows paths: a backslash ends them, no quote is escaped
cli="$1" make_machine="$2"
# shellcheck source-path=SCRIPTDIR source=../cli/clikit.sh
source "$(dirname "$0")/../cli/clikit.sh"
scratch=$dir
export KESTRUNEX_PREFIX="$scratch/machine"
sample_machine "$KESTRUNEX_PREFIX"

# The sample machine's library holds the samples; remove them all.
names=$("$cli" drivers list | sed -n 's/^\([a-z0-9]*_[0-9a-f]\{8,16\}\)  .*/\1/p')
[ -n "$names" ] || fail "no sample packages listed"
# shellcheck disable=SC2086
"$cli" drivers remove $names >/dev/null
# grep -q ends at the first match; the listing is read whole first, or the
# listing's next write meets a closed pipe and pipefail fails the check.
listing=$("$cli" drivers list)
grep -q "no packages" <<<"$listing" || fail "the library is not empty"

# One job per machine: wait while another test holds the machine-wide lock.
job() {
  unlocked "$scratch/job.log" "$cli" "$@"
  return "$rc"
}
status=0
job --iso 'G:\' --no || status=$?
[ "$status" -eq 1 ] || { cat "$scratch/job.log"; fail "an empty library: exit $status, not 1"; }
grep -q "drivers add" "$scratch/job.log" || { cat "$scratch/job.log"; fail "the refusal names no add command"; }
[ -z "$(ls "$KESTRUNEX_PREFIX/images")" ] || fail "a refused run wrote into the ISO folder"

# Two vendors' downloads, made here.
inf() {  # inf NAME VENDOR
  cat <<INF
[Version]
Signature = "\$WINDOWS NT\$"
Class = USB
ClassGUID = {36FC9E60-C465-11CF-8056-444553540000}
Provider = "Vendor $2"
CatalogFile = $1.cat
DriverVer = 05/06/2021,2.0.0.1
[SourceDisksNames]
1 = "Disk",,,
[SourceDisksFiles]
$1.sys = 1
[DestinationDirs]
DefaultDestDir = 12
[Manufacturer]
"Vendor $2" = M,NTamd64
[M.NTamd64]
"xHCI $1" = Inst, PCI\\VEN_$2&DEV_0015
[Inst]
CopyFiles = Files
[Inst.Services]
AddService = $1, 0x00000002, Svc
[Svc]
ServiceType = 1
StartType = 3
ErrorControl = 1
ServiceBinary = %12%\\$1.sys
[Files]
$1.sys
INF
}
for pkg in renxhci:1912 intxhci:8086; do
  name=${pkg%%:*} vendor=${pkg##*:}
  mkdir -p "$scratch/$name/Win7/x64"
  inf "$name" "$vendor" >"$scratch/$name/Win7/x64/$name.inf"
  head -c 4096 /dev/urandom >"$scratch/$name/Win7/x64/$name.sys"
  "$(dirname "$make_machine")/sign-test-drivers" "$scratch/$name" "$KESTRUNEX_PREFIX/test-keys"
done
# Changed after signing: refused by name, then taken with --unsigned.
mkdir -p "$scratch/tampered"
inf tmpxhci 1b73 >"$scratch/tampered/tmpxhci.inf"
head -c 4096 /dev/urandom >"$scratch/tampered/tmpxhci.sys"
"$(dirname "$make_machine")/sign-test-drivers" "$scratch/tampered" "$KESTRUNEX_PREFIX/test-keys"
echo "changed" >>"$scratch/tampered/tmpxhci.sys"
if "$cli" drivers add "$scratch/tampered" >"$scratch/add.log" 2>&1; then cat "$scratch/add.log"; fail "a tampered package added"; fi
grep -q "tmpxhci.sys does not match its catalog" "$scratch/add.log" || { cat "$scratch/add.log"; fail "the refusal names no file"; }
grep -q "use: sudo kestrunex-cli drivers add --unsigned" "$scratch/add.log" || { cat "$scratch/add.log"; fail "the hint lacks sudo"; }
# A download whose 64-bit package is refused fails, whatever else it holds.
mkdir -p "$scratch/mixed"
cp -r "$scratch/tampered" "$scratch/renxhci" "$scratch/mixed/"
if "$cli" drivers add "$scratch/mixed" >"$scratch/add.log" 2>&1; then cat "$scratch/add.log"; fail "a refused 64-bit package exited 0"; fi
grep -q "^Added: renxhci_" "$scratch/add.log" || { cat "$scratch/add.log"; fail "the good package of the download was not added"; }
"$cli" drivers remove renxhci >/dev/null || fail "the added package was not removed by its base name"
"$cli" drivers add --unsigned "$scratch/tampered" >"$scratch/add.log" 2>&1 || { cat "$scratch/add.log"; fail "--unsigned"; }
listing=$("$cli" drivers list)
grep -q "NOT signed for Windows.*added with --unsigned" <<<"$listing" || { echo "$listing"; fail "list shows no state"; }
(cd "$scratch/renxhci" && python3 -c "import shutil; shutil.make_archive('$scratch/renesas', 'zip', '.')")
(cd "$scratch/intxhci" && 7zz a -bd "$scratch/intel.7z" Win7 >/dev/null)
"$cli" drivers add "$scratch/renesas.zip" "$scratch/intel.7z" >"$scratch/add.log" 2>&1 || { cat "$scratch/add.log"; fail "drivers add"; }
[ "$(grep -c '^Added: ' "$scratch/add.log")" -eq 2 ] || { cat "$scratch/add.log"; fail "two packages added"; }

job --iso 'G:\' --no || { cat "$scratch/job.log"; fail "the ISO run with the added packages"; }
grep -q "uses a driver package that is not signed for Windows.*tmpxhci_" "$scratch/job.log" ||
  { cat "$scratch/job.log"; fail "the run does not warn of the --unsigned package"; }
iso=$(sed -n -e 's/ ([A-Z]:\\[^)]*)$//' -e 's/^ISO file: //p' "$scratch/job.log" | tail -n 1)
[ -s "$iso" ] || fail "no ISO written"
listing=$(xorriso -indev "$iso" -find /AutoUnattend -type f 2>/dev/null)
grep -qi "/AutoUnattend/Others/renxhci_[0-9a-f]*/renxhci.inf" <<<"$listing" || { echo "$listing"; fail "renxhci not in Others"; }
grep -qi "/AutoUnattend/Intel/Win7/x64/intxhci_[0-9a-f]*/intxhci.inf" <<<"$listing" || { echo "$listing"; fail "intxhci not in Intel"; }
! grep -qi "amdxhc\|asmtxhci\|iusb3" <<<"$listing" || fail "a sample package reached the medium"

xorriso -osirrox on -indev "$iso" -extract /sources/boot.wim "$scratch/boot.wim" >/dev/null 2>&1
chmod u+w "$scratch/boot.wim"
wimlib-imagex extract "$scratch/boot.wim" 2 /Windows/System32/config/SYSTEM --dest-dir="$scratch/hive" --no-acls >/dev/null
for name in renxhci intxhci; do
  service=$(reglookup -p "/ControlSet001/Services/$name" "$scratch/hive/SYSTEM")
  grep -qi "ImagePath.*$name.sys" <<<"$service" || fail "service $name not in boot.wim image 2"
done
devices=$(reglookup -p "/ControlSet001/Control/CriticalDeviceDatabase" "$scratch/hive/SYSTEM")
grep -qi "pci#ven_1912&dev_0015.*renxhci" <<<"$devices" || fail "renxhci's critical-device entry missing"
store=$(wimlib-imagex dir "$scratch/boot.wim" 2 --path /Windows/System32/DriverStore/FileRepository)
! grep -qi "amdxhc\|asmtxhci\|iusb3" <<<"$store" || fail "a sample package in boot.wim"
# list: the device each INF describes, and its version.
listing=$("$cli" drivers list)
grep -q "device: xHCI renxhci, version 2.0.0.1" <<<"$listing" || { echo "$listing"; fail "list shows no device"; }
# remove by base name: one package of that name is removed; of two, both are
# named and neither goes; a looser prefix names none.
cp -r "$scratch/renxhci" "$scratch/renxhci2"
head -c 4096 /dev/urandom >"$scratch/renxhci2/Win7/x64/renxhci.sys"
"$(dirname "$make_machine")/sign-test-drivers" "$scratch/renxhci2" "$KESTRUNEX_PREFIX/test-keys"
"$cli" drivers add "$scratch/renxhci2" >/dev/null || fail "a second renxhci package"
if "$cli" drivers remove renxhci >"$scratch/remove.log" 2>&1; then fail "an ambiguous base name removed a package"; fi
[ "$(grep -c "  renxhci_[0-9a-f]*$" "$scratch/remove.log")" -eq 2 ] || { cat "$scratch/remove.log"; fail "the candidates are not listed"; }
if "$cli" drivers remove renx >"$scratch/remove.log" 2>&1; then fail "a prefix removed a package"; fi
"$cli" drivers remove tmpxhci >"$scratch/remove.log" 2>&1 || { cat "$scratch/remove.log"; fail "remove by base name"; }
grep -q "^Removed: tmpxhci_" "$scratch/remove.log" || fail "the package removed is not named"
echo "PASS: an empty library refuses; the added packages reach the ISO and boot.wim image 2"
