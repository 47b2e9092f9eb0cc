#include "drivers/msiunpacker.h"

#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "drivers/hosttool.h"
#include "platform/windowsname.h"

namespace drivers {

UnpackResult CheckUnpackedTree(const std::string& folderHost, const UnpackLimits& limits) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::uint64_t total = 0;
  std::uint64_t members = 0;
  for (fs::recursive_directory_iterator it(folderHost, fs::directory_options::none, ec), end; !ec && it != end;
       it.increment(ec)) {
    const fs::file_status st = it->symlink_status(ec);
    if (ec) break;
    const std::string name = fs::relative(it->path(), folderHost).string();
    if (++members > limits.maxMembers) return {UnpackCode::TooMany, std::to_string(limits.maxMembers)};
    if (fs::is_directory(st)) continue;
    if (!fs::is_regular_file(st)) return {UnpackCode::Link, name};
    total += it->file_size(ec);
    if (total > limits.maxTotalBytes) return {UnpackCode::TooLarge, name};
  }
  if (ec) return {UnpackCode::Damaged, ec.message()};
  return {};
}

UnpackResult UnpackMsi(const std::string& msiHost, const std::string& folderHost, const UnpackLimits& limits) {
  std::string output;
  if (RunHostTool(kMsiExtract, {"--list", msiHost}, output, limits.maxTotalBytes) != 0)
    return {UnpackCode::NotAnArchive, output.substr(0, output.find('\n'))};
  std::istringstream lines(output);
  std::string line;
  std::uint64_t members = 0;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    std::string relative;
    if (const UnpackCode code = SafeMemberName(line, relative); code != UnpackCode::Ok)
      return {code, platform::PrintableName(line)};
    if (++members > limits.maxMembers) return {UnpackCode::TooMany, std::to_string(limits.maxMembers)};
  }
  if (RunHostTool(kMsiExtract, {"-C", folderHost, msiHost}, output, limits.maxTotalBytes) != 0)
    return {UnpackCode::ToolFailed, output.substr(0, output.find('\n'))};
  return CheckUnpackedTree(folderHost, limits);
}

}  // namespace drivers
