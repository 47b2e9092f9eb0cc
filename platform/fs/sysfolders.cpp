#include "platform/fs/sysfolders.h"

#include <filesystem>

#include "platform/machine/machine.h"
#include "platform/fs/paths.h"

namespace platform {

std::wstring GetSystemDirectory() {
  auto c = CurrentMachine().Drive(L'C');
  if (!c) return {};
  std::error_code ec;
  std::filesystem::create_directories(c->hostFolder + "/Windows/System32", ec);
  return L"C:\\Windows\\System32";
}

std::wstring GetCommonAppDataFolder() {
  if (!CurrentMachine().Drive(L'C')) return {};
  return L"C:\\ProgramData";
}

std::wstring GetModuleFileName() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return SystemPathFromHost(exe.string());
}

std::string HostProgramFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::canonical("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

std::wstring GetProgramFolder() {
  std::wstring exe = GetModuleFileName();
  size_t sep = exe.find_last_of(L'\\');
  return sep == std::wstring::npos ? std::wstring() : exe.substr(0, sep + 1);
}

}  // namespace platform
