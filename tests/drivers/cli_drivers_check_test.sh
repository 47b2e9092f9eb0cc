#!/usr/bin/env bash
# kestrunex-cli drivers check on a sample machine: saved lspci listings of
# other machines (both shapes, with what users paste around them) checked
# against the sample library. A machine whose xHCI controllers the samples
# drive passes (exit 0), one with a Renesas controller does not (exit 3,
# the vendor named); a file without a listing or one that cannot be read
# fails (exit 1). Storage controllers: Windows 7 drives SATA AHCI itself, no
# NVMe controller (until the sample storage package is added) and a RAID
# adapter perhaps; a listing whose storage controllers none drives fails
# (exit 3). This computer's own controllers are read too.
set -euo pipefail
cli="$1" make_machine="$2"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export KESTRUNEX_PREFIX="$scratch/machine"
KESTRUNEX_CLI="$cli" "$make_machine" "$KESTRUNEX_PREFIX" >/dev/null 2>&1
fail() { echo "FAIL: $*"; cat "$scratch/out" 2>/dev/null; exit 1; }
check() {  # check STATUS ARGS...: runs drivers check, output in $scratch/out
  local want=$1 status=0
  shift
  "$cli" drivers check "$@" >"$scratch/out" 2>&1 </dev/null || status=$?
  [ "$status" -eq "$want" ] || fail "drivers check $*: exit $status, not $want"
}
has() { grep -qF -- "$1" "$scratch/out" || fail "no line with: $1"; }

# The sample packages name PCI\VEN_8086&DEV_F31E(&SUBSYS_00000000) and
# PCI\VEN_1022&DEV_F43B(&SUBSYS_00000000).
cat >"$scratch/covered.txt" <<'LSPCI'
user@target:~$ lspci -vmmnn
Slot:	00:14.0
Class:	USB controller [0c03]
Vendor:	Intel Corporation [8086]
Device:	Device [f31e]
Rev:	10
ProgIf:	30

Slot:	00:1d.0
Class:	USB controller [0c03]
Vendor:	Intel Corporation [8086]
Device:	7 Series/C216 Chipset Family USB Enhanced Host Controller #1 [1e26]
SVendor:	Lenovo [17aa]
SDevice:	Device [21fa]
Rev:	04
ProgIf:	20

Slot:	00:1f.3
Class:	Audio device [0403]
Vendor:	Intel Corporation [8086]
Device:	Device [9dc8]
LSPCI
printf '%s\r\n' \
  '05:00.0 USB controller [0c03]: Advanced Micro Devices, Inc. [AMD] Device [1022:f43b] (rev 01) (prog-if 30 [XHCI])' \
  '	Subsystem: ASUSTeK Computer Inc. Device [1043:8488]' \
  '	Kernel driver in use: xhci_hcd' >>"$scratch/covered.txt"

check 0 --lspci "$scratch/covered.txt"
has "USB controllers in the lspci listing $scratch/covered.txt"
has "00:14.0  xHCI  Intel Corporation [8086]"
has "Driven by iusb3xhc_"
has "matching PCI\\VEN_8086&DEV_F31E&SUBSYS_00000000"
has "05:00.0  xHCI  "
has "matching PCI\\VEN_1022&DEV_F43B"
grep -q "matching PCI.VEN_1022&DEV_F43B&SUBSYS" "$scratch/out" && fail "the AMD controller's subsystem is 1043:8488, not 0"
has "00:1d.0  EHCI"
has "Windows 7 drives this USB 1.1/2.0 controller with its own driver."
grep -q "00:1f.3" "$scratch/out" && fail "the audio device is listed"
has "USB 3.0 controllers driven by the library: 2 / 2"

# Another machine: a Renesas add-on card no package drives.
cp "$scratch/covered.txt" "$scratch/uncovered.txt"
printf '\n%s\n' '03:00.0 USB controller [0c03]: Renesas Technology Corp. uPD720202 USB 3.0 Host Controller [1912:0015] (rev 02) (prog-if 30 [XHCI])' >>"$scratch/uncovered.txt"
check 3 --lspci "$scratch/uncovered.txt"
has "03:00.0  xHCI  Renesas Technology Corp. [1912]"
has "No package of the driver library drives this USB 3.0 controller"
has "Vendor: Renesas Technology Corp. [1912]"
has "USB 3.0 controllers driven by the library: 2 / 3"
# ... translated.
LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 check 3 --lspci "$scratch/uncovered.txt"
has "Hersteller: Renesas Technology Corp. [1912]"

# Storage beside USB: AHCI by Windows 7 itself, NVMe by nothing, RAID perhaps.
sed -n '1,8p' "$scratch/covered.txt" >"$scratch/storage.txt"
printf '%s\n' \
  '00:17.0 SATA controller [0106]: Intel Corporation Cannon Point-LP SATA Controller [AHCI Mode] [8086:9dd3] (rev 30) (prog-if 01 [AHCI 1.0])' \
  '01:00.0 Non-Volatile memory controller [0108]: Samsung Electronics Co Ltd NVMe SSD Controller SM981/PM981/PM983 [144d:a808] (prog-if 02 [NVM Express])' \
  '	Subsystem: Samsung Electronics Co Ltd SSD 970 EVO/PRO [144d:a801]' \
  '02:00.0 RAID bus controller [0104]: Broadcom / LSI MegaRAID SAS-3 3108 [Invader] [1000:005d] (rev 02)' >>"$scratch/storage.txt"
check 0 --lspci "$scratch/storage.txt"
has "00:17.0  AHCI  "
has "Windows 7 drives this IDE or SATA AHCI controller with its own driver."
has "01:00.0  NVMe  "
has "add your SSD's or board vendor's NVMe driver for Windows 7"
has "02:00.0  RAID  "
has "This controller may need a vendor driver"
has "USB 3.0 controllers driven by the library: 1 / 1"
has "Storage controllers driven: 1 / 3"
# Without the AHCI controller nothing would give Setup a disk.
grep -v "^00:17.0" "$scratch/storage.txt" >"$scratch/nodisk.txt"
check 3 --lspci "$scratch/nodisk.txt"
has "Storage controllers driven: 0 / 2"
# The sample storage package names the NVMe class as its compatible ID.
scripts=$(dirname "$make_machine")
cp -r "$scripts/../samples/storage" "$scratch/storage"
"$scripts/sample-pe" make "$scratch/storage/kxnvme.sys"
"$scripts/sign-test-drivers" "$scratch/storage" "$KESTRUNEX_PREFIX/test-keys"
"$cli" drivers add --sample "$scratch/storage" >"$scratch/out" 2>&1 || fail "the storage sample was not added"
check 0 --lspci "$scratch/nodisk.txt"
has "Driven by kxnvme_"
has "matching PCI\\CC_010802"
has "Storage controllers driven: 1 / 2"

# Not a listing, a folder, a missing file, a bad option.
printf 'hello\n00:14.0 USB controller: no numbers here\n' >"$scratch/junk.txt"
check 1 --lspci "$scratch/junk.txt"
has "The file holds no device of an lspci listing"
check 1 --lspci "$scratch"
has "cannot be read: $scratch: is a folder"
check 1 --lspci
has "Usage: kestrunex-cli [--prefix DIR] drivers check [--lspci FILE]"

# This computer: whatever it holds, a heading, a summary and 0 or 3.
status=0
"$cli" drivers check >"$scratch/out" 2>&1 </dev/null || status=$?
[ "$status" -eq 0 ] || [ "$status" -eq 3 ] || fail "drivers check on this computer: exit $status"
has "USB controllers of this computer:"
has "USB 3.0 controllers driven by the library:"
has "Storage controllers driven:"
echo "PASS"
