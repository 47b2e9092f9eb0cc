#include "platform/fs/dirnames.h"

#include <dirent.h>
#include <sys/stat.h>

#include <unordered_map>

#include "platform/text.h"

namespace platform::dirnames {

namespace {

struct Listing {
  bool valid = false;
  std::string dir;
  dev_t dev = 0;
  ino_t ino = 0;
  struct timespec mtime = {};
  std::unordered_map<std::wstring, std::string> names;  // folded name -> name on disk
  std::string checkedName;  // the name of the last lookup, checked against the folder
};

thread_local Listing t_listing;

std::wstring Key(const std::string& name) { return UpperCase(WideFromAnsi(name)); }

bool Matches(const Listing& l, const std::string& dir, const struct stat& st) {
  return l.valid && l.dir == dir && l.dev == st.st_dev && l.ino == st.st_ino &&
         l.mtime.tv_sec == st.st_mtim.tv_sec && l.mtime.tv_nsec == st.st_mtim.tv_nsec;
}

void Remember(Listing& l, const std::string& dir, const struct stat& st) {
  l.dir = dir;
  l.dev = st.st_dev;
  l.ino = st.st_ino;
  l.mtime = st.st_mtim;
}

bool Split(const std::string& path, std::string& dir, std::string& name) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  dir = slash == 0 ? "/" : path.substr(0, slash);
  name = path.substr(slash + 1);
  return !name.empty();
}

}  // namespace

void BeginLookup() { t_listing.checkedName.clear(); }

Lookup FindNoCase(const std::string& dirIn, const std::string& name, std::string& found) {
  const std::string dir = dirIn.empty() ? "/" : dirIn;
  Listing& l = t_listing;
  l.checkedName.clear();
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Lookup::kNoFolder;
  if (!Matches(l, dir, st)) {
    l.valid = false;
    l.names.clear();
    DIR* d = ::opendir(dir.c_str());
    if (!d) return Lookup::kNoFolder;
    while (dirent* e = ::readdir(d)) l.names.emplace(Key(e->d_name), e->d_name);
    ::closedir(d);
    // The time taken before listing: a change during the listing makes the
    // next lookup list again.
    Remember(l, dir, st);
    l.valid = true;
  }
  // The memory has just been checked against the folder: a change of this
  // very name that follows at once needs no second look (see Change).
  l.checkedName = name;
  auto it = l.names.find(Key(name));
  if (it == l.names.end()) return Lookup::kAbsent;
  found = it->second;
  return Lookup::kFound;
}

Change::Change(const std::string& path) : path_(path) {
  Listing& l = t_listing;
  std::string dir, name;
  if (!l.valid || !Split(path, dir, name) || dir != l.dir) return;
  // Right after the lookup of this name the memory is known to be current,
  // as a fresh listing would be; otherwise the folder is looked at again.
  struct stat st;
  current_ = name == l.checkedName || (::stat(dir.c_str(), &st) == 0 && Matches(l, dir, st));
  l.checkedName.clear();
}

void Change::Added() { Done(true); }
void Change::Removed() { Done(false); }

void Change::Done(bool added) {
  Listing& l = t_listing;
  std::string dir, name;
  if (!l.valid || !Split(path_, dir, name) || dir != l.dir) return;
  struct stat st;
  if (!current_ || ::stat(dir.c_str(), &st) != 0 || st.st_dev != l.dev || st.st_ino != l.ino) {
    l.valid = false;
    return;
  }
  std::wstring key = Key(name);
  if (added) {
    l.names.emplace(key, name);
  } else if (auto it = l.names.find(key); it != l.names.end() && it->second == name) {
    l.names.erase(it);
  }
  l.mtime = st.st_mtim;
}

}  // namespace platform::dirnames
