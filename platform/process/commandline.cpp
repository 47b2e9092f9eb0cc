#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "platform/lasterror.h"
#include "platform/fs/paths.h"
#include "platform/process/process.h"
#include "platform/fs/sysfolders.h"
#include "platform/text.h"

namespace platform {

std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine) {
  std::vector<std::wstring> args;
  std::wstring current;
  bool inQuotes = false;
  bool haveArg = false;  // "" is an empty argument, not nothing
  for (size_t i = 0; i < commandLine.size(); ++i) {
    const wchar_t c = commandLine[i];
    if (c == L'"') {
      if (inQuotes && i + 1 < commandLine.size() && commandLine[i + 1] == L'"') {
        current += L'"';
        ++i;
      } else {
        inQuotes = !inQuotes;
      }
      haveArg = true;
    } else if (!inQuotes && (c == L' ' || c == L'\t')) {
      if (haveArg) args.push_back(std::move(current));
      current.clear();
      haveArg = false;
    } else {
      current += c;
      haveArg = true;
    }
  }
  if (haveArg) args.push_back(std::move(current));
  return args;
}

namespace {

bool IsExecutableFile(const std::string& host) {
  struct stat st;
  return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(host.c_str(), X_OK) == 0;
}

bool NamesAPath(const std::wstring& program) {
  return program.find_first_of(L"\\/:") != std::wstring::npos;
}

bool EndsWithExe(const std::wstring& name) {
  return name.size() >= 4 && EqualsNoCase(std::wstring_view(name).substr(name.size() - 4), L".exe");
}

// The host file of a system path when it is an executable file.
std::string ExecutableAt(const std::wstring& path) {
  std::string host;
  if (path.empty() || !ResolvePath(path, host)) return {};
  return IsExecutableFile(host) ? host : std::string();
}

}  // namespace

namespace {
std::mutex g_toolFolderMutex;
std::wstring g_toolFolder;  // empty: the program folder
}  // namespace

ScopedToolFolder::ScopedToolFolder(const std::wstring& folder) {
  std::lock_guard lock(g_toolFolderMutex);
  previous_ = g_toolFolder;
  g_toolFolder = folder.empty() || folder.back() == L'\\' ? folder : folder + L'\\';
}

ScopedToolFolder::~ScopedToolFolder() {
  std::lock_guard lock(g_toolFolderMutex);
  g_toolFolder = previous_;
}

// A bare name is one of the program's own tools, from the program's own
// folder only, without and then with ".exe" (our "diskpart" beside the
// program). Never the machine's System32 and never the host's PATH: both
// can be reached by people other than whoever installed the program.
std::string ResolveProgram(const std::wstring& program) {
  if (program.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return {};
  }
  std::string host;
  if (NamesAPath(program)) {
    if (!ResolvePath(program, host)) return {};
    if (IsExecutableFile(host)) return host;
    SetLastError(::access(host.c_str(), F_OK) == 0 ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
    return {};
  }
  const std::wstring exe = EndsWithExe(program) ? program : program + L".exe";
  const std::wstring stem = EndsWithExe(program) ? program.substr(0, program.size() - 4) : program;
  std::wstring folder;
  {
    std::lock_guard lock(g_toolFolderMutex);
    folder = g_toolFolder;
  }
  if (folder.empty()) folder = GetProgramFolder();
  for (const std::wstring& candidate : {folder.empty() ? std::wstring() : folder + stem,
                                        folder.empty() ? std::wstring() : folder + exe}) {
    host = ExecutableAt(candidate);
    if (!host.empty()) return host;
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return {};
}

}  // namespace platform
