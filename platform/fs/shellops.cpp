#include "platform/fs/shellops.h"

#include <vector>

#include "platform/fs/copyfile.h"
#include "platform/fs/files.h"
#include "platform/lasterror.h"
#include "platform/fs/paths.h"

namespace platform {

namespace {

std::vector<std::wstring> SplitList(const std::wstring& list) {
  std::vector<std::wstring> out;
  size_t pos = 0;
  while (pos < list.size()) {
    size_t end = list.find(L'\0', pos);
    if (end == std::wstring::npos) end = list.size();
    if (end == pos) break;
    out.push_back(list.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

bool HasWildcard(const std::wstring& p) {
  size_t sep = p.find_last_of(L"\\/");
  return p.find_first_of(L"*?", sep == std::wstring::npos ? 0 : sep) != std::wstring::npos;
}

std::wstring ParentOf(const std::wstring& p) {
  size_t sep = p.find_last_of(L"\\/");
  return sep == std::wstring::npos ? std::wstring() : p.substr(0, sep);
}

std::wstring NameOf(const std::wstring& p) {
  size_t sep = p.find_last_of(L"\\/");
  return sep == std::wstring::npos ? p : p.substr(sep + 1);
}

std::wstring StripTrailing(std::wstring p) {
  while (p.size() > 3 && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
  return p;
}

// Expands one source entry into the paths it names.
DWORD Expand(const std::wstring& entry, std::vector<std::wstring>& out) {
  if (!HasWildcard(entry)) {
    if (!PathExists(entry)) return ERROR_FILE_NOT_FOUND;
    out.push_back(StripTrailing(entry));
    return ERROR_SUCCESS;
  }
  std::vector<FindData> found;
  if (!FindFiles(entry, found)) {
    // A wildcard that matches nothing in an existing folder copies nothing.
    return IsDirectory(ParentOf(entry)) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
  }
  for (const auto& f : found) {
    if (f.IsDots()) continue;
    out.push_back(JoinPath(ParentOf(entry), f.name));
  }
  return ERROR_SUCCESS;
}

// Whether the host path of inner lies in (or is) the host path of outer: a
// tree is never copied into itself.
bool Inside(const std::wstring& inner, const std::wstring& outer) {
  std::string in, out;
  if (!ResolvePath(inner, in) || !ResolvePath(outer, out)) return false;
  return in == out || (in.size() > out.size() && in.compare(0, out.size(), out) == 0 && in[out.size()] == '/');
}

DWORD DeleteTree(const std::wstring& path) {
  DWORD attrs = GetFileAttributes(path);
  if (attrs == INVALID_FILE_ATTRIBUTES) return GetLastError();
  if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) {
    // The link itself, never what it points to.
    bool ok = (attrs & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectory(path) : DeleteFile(path);
    return ok ? ERROR_SUCCESS : GetLastError();
  }
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
    if (attrs & FILE_ATTRIBUTE_READONLY) SetFileAttributes(path, attrs & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFile(path) ? ERROR_SUCCESS : GetLastError();
  }
  std::vector<FindData> entries;
  FindFiles(JoinPath(path, L"*"), entries);
  DWORD result = ERROR_SUCCESS;
  for (const auto& e : entries) {
    if (e.IsDots()) continue;
    DWORD r = DeleteTree(JoinPath(path, e.name));
    if (r != ERROR_SUCCESS && result == ERROR_SUCCESS) result = r;
  }
  if (result != ERROR_SUCCESS) return result;
  return RemoveDirectory(path) ? ERROR_SUCCESS : GetLastError();
}

DWORD CopyTree(const std::wstring& from, const std::wstring& to) {
  DWORD attrs = GetFileAttributes(from);
  if (attrs == INVALID_FILE_ATTRIBUTES) return GetLastError();
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY) || (attrs & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // A link to a folder is copied as a link: never walked, so a link back
    // into the tree cannot make the copy endless.
    bool cancel = false;
    const DWORD flags = (attrs & FILE_ATTRIBUTE_DIRECTORY) ? COPY_FILE_COPY_SYMLINK : 0;
    return CopyFileEx(from, to, nullptr, nullptr, &cancel, flags) ? ERROR_SUCCESS : GetLastError();
  }
  if (!IsDirectory(to) && !CreateDirectory(to)) return GetLastError();
  std::vector<FindData> entries;
  FindFiles(JoinPath(from, L"*"), entries);
  for (const auto& e : entries) {
    if (e.IsDots()) continue;
    DWORD r = CopyTree(JoinPath(from, e.name), JoinPath(to, e.name));
    if (r != ERROR_SUCCESS) return r;
  }
  return ERROR_SUCCESS;
}

}  // namespace

int SHFileOperation(SHFILEOPSTRUCT& op) {
  op.fAnyOperationsAborted = false;
  std::vector<std::wstring> sources;
  bool wildcard = false;
  for (const auto& entry : SplitList(op.pFrom)) {
    wildcard = wildcard || HasWildcard(entry);
    DWORD r = Expand(entry, sources);
    if (r != ERROR_SUCCESS) return static_cast<int>(r);
  }
  if (sources.empty() && !wildcard) return static_cast<int>(ERROR_FILE_NOT_FOUND);

  if (op.wFunc == FO_DELETE) {
    for (const auto& s : sources) {
      // A volume's root is never deleted, however it is spelt.
      if (IsDriveRoot(s) || IsDriveRootFolder(s)) return static_cast<int>(ERROR_ACCESS_DENIED);
    }
    for (const auto& s : sources) {
      DWORD r = DeleteTree(s);
      if (r != ERROR_SUCCESS) return static_cast<int>(r);
    }
    return 0;
  }
  if (op.wFunc == FO_COPY || op.wFunc == FO_MOVE) {
    auto targets = SplitList(op.pTo);
    if (targets.size() != 1) return static_cast<int>(ERROR_INVALID_PARAMETER);
    std::wstring to = StripTrailing(targets[0]);
    bool into = IsDirectory(to) || sources.size() > 1 || wildcard;
    if (into && !IsDirectory(to)) {
      DWORD r = CreateDirectoryRecursive(to);
      if (r != ERROR_SUCCESS && r != ERROR_ALREADY_EXISTS) return static_cast<int>(r);
    }
    // Nothing is copied when any source would land inside itself.
    for (const auto& s : sources)
      if (Inside(into ? JoinPath(to, NameOf(s)) : to, s) || (IsDirectory(s) && Inside(to, s)))
        return static_cast<int>(ERROR_INVALID_PARAMETER);
    // Moving a drive's root would delete it afterwards.
    if (op.wFunc == FO_MOVE)
      for (const auto& s : sources)
        if (IsDriveRoot(s) || IsDriveRootFolder(s)) return static_cast<int>(ERROR_ACCESS_DENIED);
    for (const auto& s : sources) {
      std::wstring target = into ? JoinPath(to, NameOf(s)) : to;
      DWORD r = CopyTree(s, target);
      if (r == ERROR_SUCCESS && op.wFunc == FO_MOVE) r = DeleteTree(s);
      if (r != ERROR_SUCCESS) return static_cast<int>(r);
    }
    return 0;
  }
  return static_cast<int>(ERROR_INVALID_PARAMETER);
}

}  // namespace platform
