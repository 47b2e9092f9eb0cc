#include "tools/cli/sourceargument.h"

#include <filesystem>

#include "platform/fs/paths.h"
#include "platform/machine/imagedrive.h"
#include "platform/machine/machine.h"
#include "platform/text.h"
#include "tools/cli/clioptions.h"

namespace {

std::string RealPath(const std::string& path) {
  std::error_code ec;
  const auto real = std::filesystem::canonical(path, ec);
  return ec ? std::string() : real.string();
}

}  // namespace

SourceArgument ResolveSourceArgument(const std::wstring& text) {
  SourceArgument out;
  const std::wstring root = NormaliseDriveRoot(text);
  if (platform::DriveLetterOf(root) != 0 && platform::IsDriveRoot(root)) {
    out.root = root;
    return out;
  }
  const std::string host = platform::AnsiFromWide(text);
  std::error_code ec;
  const auto status = host.empty() ? std::filesystem::file_status() : std::filesystem::status(host, ec);
  if (!std::filesystem::exists(status)) {
    out.error = host + ": no such drive, folder or file";
    return out;
  }
  if (std::filesystem::is_directory(status)) {
    // A mounted disc: the drive whose folder this is.
    const std::string real = RealPath(host);
    for (const auto& drive : platform::CurrentMachine().Drives()) {
      if (!drive.hostFolder.empty() && RealPath(drive.hostFolder) == real) {
        out.root = std::wstring(1, drive.letter) + L":\\";
        return out;
      }
    }
    out.error = host + ": no drive of this machine shows this folder";
    return out;
  }
  const wchar_t letter = platform::AddImageDrive(host, out.error);
  if (letter == 0) return out;
  out.root = std::wstring(1, letter) + L":\\";
  out.addedImage = true;
  return out;
}
