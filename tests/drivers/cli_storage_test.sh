#!/usr/bin/env bash
# A storage driver package on a sample machine (the sample NVMe package,
# boot-start, signed by the machine's test root, embedded signature
# included) and an ISO-mode run without --compat: the package forces
# compatibility mode, so boot.wim image 2 and both images of install.wim
# carry it. Read back by reglookup: its service starts at boot (Start 0),
# critical-device entries for its hardware and compatible IDs name it, and
# its .sys is in System32\drivers. The trace log names the package.
# shellcheck disable=SC1003  # 'G:\' is a Windows path: a backslash ends it, no quote is escaped
set -euo pipefail
cli="$1" make_machine="$2"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export KESTRUNEX_PREFIX="$scratch/machine"
fail() { echo "FAIL: $*"; exit 1; }
KESTRUNEX_CLI="$cli" "$make_machine" --storage --install-images 2 "$KESTRUNEX_PREFIX" >"$scratch/machine.log" 2>&1 ||
  { cat "$scratch/machine.log"; fail "the sample machine with its storage package"; }
listing=$("$cli" drivers list)
grep -q "^kxnvme_[0-9a-f]*  .*  SCSIAdapter  .*  amd64  storage" <<<"$listing" || { echo "$listing"; fail "list shows no storage package"; }
grep -q "^iusb3xhc_[0-9a-f]*  .*  USB  .*  USB" <<<"$listing" || { echo "$listing"; fail "list shows no USB kind"; }

# One job per machine: wait while another test holds the machine-wide lock.
status=0
for _ in $(seq 1 120); do
  status=0
  "$cli" --iso 'G:\' --no </dev/null >"$scratch/job.log" 2>&1 || status=$?
  grep -q "already running" "$scratch/job.log" || break
  sleep 5
done
[ "$status" -eq 0 ] || { cat "$scratch/job.log"; fail "the ISO run: exit $status"; }
trace=$(sed -n 's/^Trace log: //p' "$scratch/job.log" | tail -n 1)
grep -q "storage driver packages, compatibility mode forced: kxnvme_" "$trace" || fail "the trace names no storage package"
iso=$(sed -n -e 's/ ([A-Z]:\\[^)]*)$//' -e 's/^ISO file: //p' "$scratch/job.log" | tail -n 1)
[ -s "$iso" ] || fail "no ISO written"
for wim in boot install; do
  xorriso -osirrox on -indev "$iso" -extract "/sources/$wim.wim" "$scratch/$wim.wim" >/dev/null 2>&1
  chmod u+w "$scratch/$wim.wim"
done
[ "$(wimlib-imagex info "$scratch/install.wim" | sed -n 's/^Image Count: *//p')" = 2 ] || fail "install.wim has not 2 images"

for place in boot:2 install:1 install:2; do
  wim="$scratch/${place%%:*}.wim" image=${place##*:}
  rm -rf "$scratch/hive"
  wimlib-imagex extract "$wim" "$image" /Windows/System32/config/SYSTEM --dest-dir="$scratch/hive" --no-acls >/dev/null
  service=$(reglookup -p /ControlSet001/Services/kxnvme "$scratch/hive/SYSTEM")
  grep -q "^/ControlSet001/Services/kxnvme/Start,DWORD,0x00000000," <<<"$service" ||
    { echo "$service"; fail "$place: no boot-start service kxnvme"; }
  grep -qi "ImagePath,.*drivers.*kxnvme.sys" <<<"$service" || { echo "$service"; fail "$place: ImagePath"; }
  devices=$(reglookup -p /ControlSet001/Control/CriticalDeviceDatabase "$scratch/hive/SYSTEM")
  for id in 'pci#ven_1d79&dev_2263' 'pci#cc_010802'; do
    grep -q "^/ControlSet001/Control/CriticalDeviceDatabase/$id/Service,SZ,kxnvme," <<<"$devices" ||
      fail "$place: no critical-device entry $id"
  done
  wimlib-imagex dir "$wim" "$image" --path /Windows/System32/drivers | grep -qx "/Windows/System32/drivers/kxnvme.sys" ||
    fail "$place: kxnvme.sys not in System32\\drivers"
done
echo "PASS: the storage package forces compatibility mode and reaches boot.wim image 2 and every install.wim image"
