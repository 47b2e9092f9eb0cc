#include "tools/cli/clifolders.h"

#include <filesystem>

#include "platform/fs/paths.h"
#include "platform/fs/sysfolders.h"
#include "platform/machine/machine.h"
#include "platform/machine/prefixtrust.h"
#include "platform/text.h"

namespace {

std::string Absolute(const std::string& path) {
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

}  // namespace

bool AnchorArgumentsAndEnterProgramFolder(CliOptions& options) {
  if (!options.prefix.empty()) options.prefix = Absolute(options.prefix);
  // A drive path (G:\iso) stays as it is; a host path (an ISO folder, a
  // source image or disc folder, a stick's device or image file) is the
  // user's.
  for (std::wstring* path : {&options.isoFolder, &options.source, &options.usbRoot})
    if (!path->empty() && platform::DriveLetterOf(*path) == 0)
      *path = platform::WideFromAnsi(Absolute(platform::AnsiFromWide(*path)));
  const std::string program = platform::HostProgramFolder();
  if (program.empty()) return false;
  std::error_code ec;
  std::filesystem::current_path(program, ec);
  return !ec;
}

bool CheckPrefix(const CliOptions& options, std::string* reason) {
  try {
    if (options.prefix.empty()) {
      platform::CheckedDefaultPrefix();
    } else if (!platform::TrustedPrefix(options.prefix, *reason)) {
      return false;
    }
  } catch (const platform::PrefixError& e) {
    *reason = e.what();
    return false;
  }
  return true;
}
