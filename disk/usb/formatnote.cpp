#include "disk/usb/formatnote.h"

#include "config/ovmultilangdll.h"
#include "disk/volumeutils.h"
#include "platform/disks/diskuse.h"
#include "platform/text.h"

std::wstring FormatEntryWithMounts(const std::wstring& entry, const std::wstring& root) {
  const int disk = root.empty() ? -1 : GetVolumeDiskNumber(root.substr(0, 1));
  if (disk < 0) return entry;
  const std::vector<std::string> mounts = platform::disks::OtherMountsOfDisk(disk);
  if (mounts.empty()) return entry;
  std::wstring text = entry + L" (" + Translate(L"Format Mounted");
  for (std::size_t i = 0; i < mounts.size(); ++i) text += (i ? L", " : L" ") + platform::PrintableText(platform::WideFromAnsi(mounts[i]));
  return text + L")";
}
