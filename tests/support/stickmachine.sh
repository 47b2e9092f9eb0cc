XX
  mkdir -p "$prefix/stick" "$prefix/drive_c"
  "$make_medium" "$prefix/dvd" >/dev/null 2>&1
  truncate -s "${size}M" "$prefix/usb.img"
  printf 'label: dos\nstart=2048,type=c\n' | sfdisk -q "$prefix/usb.img"
  mkfs.vfat -F 32 --offset 2048 "$prefix/usb.img" $(((size - 1) * 1024)) >/dev/null
  cat >"$prefix/machine.ini" <<'INI'
[drivers]
library = drivers
samples = yes
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
  "$cli" --prefix "$prefix" drivers add --sample "$(dirname "${BASH_SOURCE[0]}")/../../samples/drivers" >/dev/null
}
