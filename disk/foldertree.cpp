#include "disk/foldertree.h"

#include <vector>

#include "platform/fs/files.h"
#include "platform/fs/paths.h"
#include "platform/fs/shellops.h"
#include "platform/text.h"

namespace {

using platform::FindData;

constexpr size_t kMaxSourcePath = 260;
constexpr size_t kMaxTargetPath = 259;

// Every entry of the folder ("*.*", all attributes); empty when unreadable.
std::vector<FindData> Entries(const std::wstring& folder) {
  std::vector<FindData> entries;
  platform::FindFiles(platform::JoinPath(folder, L"*.*"), entries);
  return entries;
}

std::wstring WithoutTrailingBackslash(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

// The list form the shell takes: one entry, then a second terminator.
std::wstring OneEntryList(const std::wstring& path) { return path + L'\0'; }

}  // namespace

bool DeleteFolderTree(const std::wstring& path) {
  if (path.empty() || !platform::PathExists(path)) return false;
  platform::SHFILEOPSTRUCT op;
  op.wFunc = platform::FO_DELETE;
  op.pFrom = OneEntryList(WithoutTrailingBackslash(path));
  op.fFlags = platform::FOF_SILENT | platform::FOF_NOCONFIRMATION | platform::FOF_NOERRORUI;
  return platform::SHFileOperation(op) == 0 && !op.fAnyOperationsAborted;
}

bool CopyFolderTree(const std::wstring& source, const std::wstring& target) {
  if (source.empty()) return false;
  if (!platform::PathExists(target)) platform::CreateDirectory(target);
  if (source.size() > kMaxSourcePath || target.size() >= kMaxTargetPath) return false;
  std::wstring from = source;
  if (platform::IsDirectory(source)) from = platform::JoinPath(source, L"*");
  platform::SHFILEOPSTRUCT op;
  op.wFunc = platform::FO_COPY;
  op.pFrom = OneEntryList(from);
  op.pTo = OneEntryList(target);
  op.fFlags = platform::FOF_SILENT | platform::FOF_NOCONFIRMATION | platform::FOF_NOCONFIRMMKDIR |
              platform::FOF_NOERRORUI;
  return platform::SHFileOperation(op) == 0 && !op.fAnyOperationsAborted;
}

void DeleteFolderContents(const std::wstring& path) {
  // A link to a folder is removed as a link; what it points to is not ours.
  platform::DWORD self = platform::GetFileAttributes(path);
  if (self != platform::INVALID_FILE_ATTRIBUTES && (self & platform::FILE_ATTRIBUTE_REPARSE_POINT)) {
    platform::RemoveDirectory(path);
    return;
  }
  for (const auto& e : Entries(path)) {
    if (e.IsDots()) continue;
    std::wstring full = platform::JoinPath(path, e.name);
    if (e.IsFolder()) {
      // Try the folder as it is; only a folder that is not empty (and is no
      // link) is descended.
      if (!platform::RemoveDirectory(full) && e.IsSubtree()) DeleteFolderContents(full);
    } else {
      ClearReadOnly(full);
      platform::DeleteFile(full);
    }
  }
  platform::RemoveDirectory(path);
}

bool ClearReadOnly(const std::wstring& path) {
  platform::DWORD attrs = platform::GetFileAttributes(path);
  if (attrs != platform::INVALID_FILE_ATTRIBUTES && attrs != 0)
    platform::SetFileAttributes(path, attrs & ~platform::FILE_ATTRIBUTE_READONLY);
  return true;
}

void FindFilesByExt(std::vector<std::wstring>& list, const std::wstring& folder, const std::wstring& ext) {
  for (const auto& e : Entries(folder)) {
    if (e.IsDots()) continue;
    std::wstring full = platform::JoinPath(folder, e.name);
    if (e.IsFolder()) {
      if (e.IsSubtree()) FindFilesByExt(list, full, ext);
      continue;
    }
    size_t dot = e.name.rfind(L'.');
    if (dot != std::wstring::npos && platform::EqualsNoCase(std::wstring_view(e.name).substr(dot), ext))
      list.push_back(full);
  }
}

std::int64_t GetFolderSize(const std::wstring& path, bool recursive) {
  std::int64_t total = 0;
  for (const auto& e : Entries(path)) {
    if (e.IsDots()) continue;
    if (e.IsFolder()) {
      // A link to a folder counts nothing: what it leads to is not in the tree.
      if (recursive && e.IsSubtree()) total += GetFolderSize(platform::JoinPath(path, e.name), true);
    } else {
      total += static_cast<std::int64_t>(e.size);
    }
  }
  return total;
}

std::int64_t GetFileSize(const std::wstring& path) {
  std::uint64_t size = 0;
  if (!platform::GetFileSize(path, size)) return 0;
  return static_cast<std::int64_t>(size);
}
