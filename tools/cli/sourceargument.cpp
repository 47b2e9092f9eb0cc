#include "tools/cli/sourceargument.h"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "platform/fs/paths.h"
#include "platform/machine/imagedrive.h"
#include "platform/machine/machine.h"
#include "platform/text.h"
#include "tools/cli/clioptions.h"

namespace {

std::string RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
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
  struct stat st;
  if (host.empty() || ::stat(host.c_str(), &st) != 0) {
    out.error = host + ": no such drive, folder or file";
    return out;
  }
  if (S_ISDIR(st.st_mode)) {
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
