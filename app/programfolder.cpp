#include "app/programfolder.h"

#include <filesystem>

#include "platform/paths.h"
#include "platform/sysfolders.h"

bool EnterProgramFolder() {
  std::string host;
  if (!platform::ResolvePath(platform::GetProgramFolder(), host)) return false;
  std::error_code ec;
  std::filesystem::current_path(host, ec);
  return !ec;
}
