#include "config/diskidentity.h"

#include <cstdio>

#include "platform/machine/machine.h"
#include "platform/fs/paths.h"
#include "platform/text.h"

namespace {
constexpr std::uint64_t kMiB = 1024ull * 1024ull;
constexpr std::uint64_t kGiB = 1024ull * kMiB;
constexpr std::size_t kSizeTextChars = 32;
}  // namespace

std::wstring DiskSizeText(std::uint64_t bytes) {
  wchar_t text[kSizeTextChars];
  if (bytes >= kGiB) {
    // Tenths, rounded down: a 7.99 GiB stick is not called 8.0 GiB.
    const std::uint64_t tenths = bytes * 10 / kGiB;
    std::swprintf(text, kSizeTextChars, L"%llu.%llu GiB", static_cast<unsigned long long>(tenths / 10),
                  static_cast<unsigned long long>(tenths % 10));
  } else {
    std::swprintf(text, kSizeTextChars, L"%llu MiB", static_cast<unsigned long long>(bytes / kMiB));
  }
  return text;
}

std::wstring DiskIdentityLine(const std::wstring& root) {
  const auto drive = platform::CurrentMachine().Drive(platform::DriveLetterOf(root));
  if (!drive) return {};
  std::wstring line;
  std::string where = drive->hostDevice;
  if (drive->diskNumber >= 0) {
    if (const auto disk = platform::CurrentMachine().Disk(drive->diskNumber)) {
      if (!disk->model.empty()) line += platform::PrintableText(platform::WideFromAnsi(disk->model)) + L", ";
      if (disk->sizeBytes) line += DiskSizeText(disk->sizeBytes) + L", ";
      if (!disk->Backing().empty()) where = disk->Backing();
    }
  }
  if (where.empty()) where = drive->hostFolder;
  return line + platform::PrintableText(platform::WideFromAnsi(where));
}
