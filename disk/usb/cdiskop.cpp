#include "disk/usb/cdiskop.h"

#include <cstdio>
#include <memory>

#include "disk/usb/runhidden.h"
#include "platform/fs/files.h"
#include "platform/fs/tempfile.h"

namespace gs {

namespace {
constexpr std::size_t kScriptBuffer = 256;
constexpr std::size_t kCommandChars = 260 + 16;

template <typename... Args>
std::string Script(const char* format, Args... args) {
  char text[kScriptBuffer];
  int n = std::snprintf(text, sizeof text, format, args...);
  return std::string(text, n < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1));
}
}  // namespace

CDiskOP* CDiskOP::Instance() {
  static std::unique_ptr<CDiskOP> instance(new CDiskOP());
  return instance.get();
}

CDiskOP::CDiskOP() {
  // Without a script file every script fails when it is opened: the caller
  // hears of it there.
  static_cast<void>(CreateScriptFile());
}

bool CDiskOP::CreateScriptFile() {
  if (m_bCreated) return true;
  std::wstring path;
  if (platform::GetTempFileName(L".", L"_", &path) == 0) return false;
  m_ScriptPath = path;
  m_bCreated = true;
  return true;
}

bool CDiskOP::DeleteScriptFile() {
  if (m_bCreated) {
    platform::DeleteFile(m_ScriptPath);
    m_ScriptPath.clear();
    m_bCreated = false;
  }
  return true;
}

bool CDiskOP::RunScript(const std::string& text) {
  if (!platform::RewriteExistingFile(m_ScriptPath, text)) return false;
  wchar_t command[kCommandChars];
  std::swprintf(command, kCommandChars, L"diskpart /s %ls", m_ScriptPath.c_str());
  platform::DWORD code = 1;
  return RunHidden(command, &code) && code == 0;
}

std::string CDiskOP::FormatScript(unsigned disk, unsigned partition, bool fat32) {
  return Script("sel disk %u\r\nsel par %u\r\nformat fs=%s quick\r\nexit\r\n", disk, partition,
                fat32 ? "FAT32" : "NTFS");
}

std::string CDiskOP::ActiveScript(unsigned disk, unsigned partition) {
  return Script("sel disk %u\r\nsel par %u\r\nactive\r\nexit\r\n", disk, partition);
}

std::string CDiskOP::CleanScript(unsigned disk, const std::string& letter) {
  return Script(
      "sel disk %u\r\nclean\r\ncrea part prim\r\nsel part 1\r\nformat fs=fat32 quick\r\nassign letter=%s\r\nactive\r\n"
      "exit\r\n",
      disk, letter.c_str());
}

bool CDiskOP::FormatPartition(unsigned disk, unsigned partition, bool fat32) {
  return RunScript(FormatScript(disk, partition, fat32));
}

bool CDiskOP::SetActive(unsigned disk, unsigned partition) { return RunScript(ActiveScript(disk, partition)); }

bool CDiskOP::CleanAndFormat(unsigned disk, const std::string& letter) {
  return RunScript(CleanScript(disk, letter));
}

}  // namespace gs
