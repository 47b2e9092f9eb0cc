#include "platform/fs/paths.h"

#include <sys/stat.h>

#include <vector>

#include "platform/fs/dirnames.h"
#include "platform/lasterror.h"
#include "platform/machine/machine.h"
#include "platform/text.h"

namespace platform {

namespace {

bool IsSep(wchar_t c) { return c == L'\\' || c == L'/'; }

bool Exists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

}  // namespace

wchar_t DriveLetterOf(std::wstring_view path) {
  if (path.size() >= 4 && IsSep(path[0]) && IsSep(path[1]) && (path[2] == L'?' || path[2] == L'.') && IsSep(path[3]))
    path.remove_prefix(4);
  if (path.size() >= 2 && path[1] == L':') {
    wchar_t c = FoldCase(path[0]);
    if (c >= L'A' && c <= L'Z') return c;
  }
  return 0;
}

bool ResolvePath(std::wstring_view path, std::string& host) {
  host.clear();
  dirnames::BeginLookup();
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  // A NUL would cut the host path short and name another file: a name read
  // from a file that holds one is invalid, as the system says.
  if (path.find(L'\0') != std::wstring_view::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  std::wstring_view rest = path;
  std::string base;
  if (rest.size() >= 4 && IsSep(rest[0]) && IsSep(rest[1]) && (rest[2] == L'?' || rest[2] == L'.') && IsSep(rest[3]))
    rest.remove_prefix(4);
  wchar_t letter = DriveLetterOf(rest);
  if (letter) {
    auto drive = CurrentMachine().Drive(letter);
    if (!drive) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return false;
    }
    if (!drive->ready) {
      SetLastError(ERROR_NOT_READY);
      return false;
    }
    // A drive backed by an image file has no host folder: its files are read
    // through the image (imagefiles.h), and nothing is written to a disc.
    if (!drive->image.empty()) {
      SetLastError(ERROR_WRITE_PROTECT);
      return false;
    }
    base = drive->hostFolder;
    rest.remove_prefix(2);
    while (!base.empty() && base.back() == '/') base.pop_back();
  } else if (!rest.empty() && IsSep(rest[0])) {
    // A rooted path without a letter is on the current drive; we have none
    // that is meaningful, so it is the host root.
    base.clear();
  } else {
    base = ".";
  }

  // The components, with "." and ".." settled as text.
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && IsSep(rest[i])) ++i;
    size_t j = i;
    while (j < rest.size() && !IsSep(rest[j])) ++j;
    if (j == i) break;
    std::wstring_view comp = rest.substr(i, j - i);
    i = j;
    if (comp == L".") continue;
    if (comp == L"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(AnsiFromWide(comp));
  }

  // Most paths exist as written, or name a new entry of a folder that does:
  // one or two lookups settle them. Only a path whose folders differ in case
  // is walked component by component.
  auto join = [&](size_t count) {
    std::string out = base;
    for (size_t k = 0; k < count; ++k) out += "/" + parts[k];
    return out;
  };
  std::string current = join(parts.size());
  if (parts.empty() || Exists(current)) {
    host = current.empty() ? "/" : current;
    return true;
  }
  // A new entry of a folder that exists as written: only its name is
  // matched. The lookup tells whether the folder is there at all.
  std::string parent = join(parts.size() - 1);
  std::string found;
  switch (dirnames::FindNoCase(parent, parts.back(), found)) {
    case dirnames::Lookup::kFound:
      host = parent + "/" + found;
      return true;
    case dirnames::Lookup::kAbsent:
      host = current;
      return true;
    case dirnames::Lookup::kNoFolder:
      break;
  }
  // Some folder on the way differs in case: walk from the root.
  current = base;
  for (const auto& part : parts) {
    std::string candidate = current + "/" + part;
    if (!Exists(candidate) && dirnames::FindNoCase(current, part, found) == dirnames::Lookup::kFound)
      candidate = current + "/" + found;
    current = candidate;
  }
  host = current.empty() ? "/" : current;
  return true;
}

std::wstring SystemPathFromHost(const std::string& hostIn) {
  std::string host = hostIn;
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  const DriveDecl* best = nullptr;
  auto drives = CurrentMachine().Drives();
  size_t bestLen = 0;
  for (const auto& d : drives) {
    if (d.hostFolder.empty()) continue;  // an image drive has no host folder
    std::string f = d.hostFolder;
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    bool inside = host == f || f == "/" || (host.size() > f.size() && host.compare(0, f.size(), f) == 0 && host[f.size()] == '/');
    size_t len = f == "/" ? 0 : f.size();
    if (inside && (!best || len > bestLen)) {
      best = &d;
      bestLen = len;
    }
  }
  if (!best) return WideFromAnsi(host);
  std::wstring out;
  out += best->letter;
  out += L":\\";
  std::string rest = host.substr(bestLen);
  while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
  for (wchar_t c : WideFromAnsi(rest)) out += c == L'/' ? L'\\' : c;
  return out;
}

bool IsDriveRoot(std::wstring_view path) { return path.size() <= 3 && DriveLetterOf(path) != 0; }

bool IsDriveRootHost(const std::string& host) {
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  for (const auto& d : CurrentMachine().Drives()) {
    struct stat root;
    if (!d.hostFolder.empty() && ::stat(d.hostFolder.c_str(), &root) == 0 && root.st_dev == st.st_dev &&
        root.st_ino == st.st_ino)
      return true;
  }
  return false;
}

bool IsDriveRootFolder(std::wstring_view path) {
  std::string host;
  return ResolvePath(path, host) && IsDriveRootHost(host);
}

std::wstring JoinPath(std::wstring_view folder, std::wstring_view name) {
  std::wstring out(folder);
  if (!out.empty() && !IsSep(out.back())) out += L'\\';
  size_t k = 0;
  while (k < name.size() && IsSep(name[k])) ++k;
  out += name.substr(k);
  return out;
}

}  // namespace platform
