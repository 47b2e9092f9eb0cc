# Sourced by shell tests: make_stick_machine PREFIX MAKE_MEDIUM SIZE_MIB CLI
# makes a machine in PREFIX whose optical drive E: holds a generated sample
# medium and whose F: is partition 1 of a virtual USB stick, PREFIX/usb.img:
# a sparse image of SIZE_MIB MiB with one FAT32 partition at 1 MiB. Its
# driver library (PREFIX/drivers) gets the sample packages through CLI.
make_stick_machine() {
  local prefix="$1" make_medium="$2" size="$3" cli="$4"
  mkdir -p "$prefix/stick" "$prefix/drive_c"
  "$make_medium" "$prefix/dvd" >/dev/null 2>&1
  truncate -s "${size}M" "$prefix/usb.img"
  printf 'label: dos\nstart=2048,type=c\n' | sfdisk -q "$prefix/usb.img"
  mkfs.vfat -F 32 --offset 2048 "$prefix/usb.img" $(((size - 1) * 1024)) >/dev/null
  cat >"$prefix/machine.ini" <<'INI'
[drivers]
library = drivers
samples = yes
roots = test-roots
[drive E]
folder = dvd
type = cdrom
label = GRMCULFRER_EN_DVD
filesystem = CDFS
[drive F]
folder = stick
type = removable
disk = 1
partition = 1
[disk 1]
image = usb.img
bus = usb
removable = yes
INI
  local samples
  samples="$("$(dirname "${BASH_SOURCE[0]}")/../../scripts/sign-test-drivers" --samples "$prefix")"
  "$cli" --prefix "$prefix" drivers add --sample "$samples" >/dev/null
}
