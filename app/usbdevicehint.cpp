#include "app/usbdevicehint.h"

#include "config/ovmultilangdll.h"
#include "platform/machine/machine.h"
#include "platform/machine/volumes.h"
#include "platform/fs/paths.h"
#include "platform/lasterror.h"
#include "platform/text.h"

namespace {
constexpr std::uint64_t kBytesPerMB = 1048576;
constexpr platform::DWORD kNoFileSystem = 1005;  // the volume's error for a partition without one
}  // namespace

std::wstring UsbDeviceHint(const std::wstring& root) {
  const wchar_t letter = platform::DriveLetterOf(root);
  const auto drive = platform::CurrentMachine().Drive(letter);
  if (!drive) return root;
  std::wstring hint = root;
  if (!drive->label.empty()) hint += L" " + drive->label;
  // The file system the volume really has, as the volume says it; what the
  // drive was declared with only when the volume cannot be asked; a
  // partition without one is RAW.
  std::wstring fileSystem;
  if (!platform::GetVolumeInformation(root, nullptr, &fileSystem))
    fileSystem = platform::GetLastError() == kNoFileSystem ? std::wstring(L"RAW") : drive->fileSystem;
  if (!fileSystem.empty()) hint += L" (" + fileSystem + L")";
  std::string where = drive->hostDevice;
  if (drive->diskNumber >= 0) {
    hint += L"\n" + Translate(L"Disk") + L" " + std::to_wstring(drive->diskNumber);
    if (const auto disk = platform::CurrentMachine().Disk(drive->diskNumber)) {
      if (!disk->model.empty()) hint += L", " + platform::PrintableText(platform::WideFromAnsi(disk->model));
      if (disk->sizeBytes) hint += L", " + std::to_wstring(disk->sizeBytes / kBytesPerMB) + L" MB";
      // The image a user named, not the descriptor path it is held by.
      if (!disk->Backing().empty()) where = disk->image.empty() ? disk->Backing() : disk->image;
    }
  }
  if (where.empty()) where = drive->hostFolder;
  hint += L"\n" + platform::PrintableText(platform::WideFromAnsi(where));
  return hint;
}
