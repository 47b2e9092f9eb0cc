#include "platform/machine/prefixtrust.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace platform {

namespace {

constexpr std::size_t kPasswdBuffer = 16384;
// Variables through which sudo and pkexec name the user who invoked them.
constexpr const char* kInvokerVariables[] = {"SUDO_UID", "PKEXEC_UID"};

std::string HomeFromPasswd(uid_t uid) {
  std::vector<char> buffer(kPasswdBuffer);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
    return {};
  return found->pw_dir;
}

std::optional<unsigned> InvokerUid(const char* variable) {
  const char* text = std::getenv(variable);
  if (!text || !*text) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (errno != 0 || *end != '\0' || value > UINT_MAX) return std::nullopt;
  return static_cast<unsigned>(value);
}

}  // namespace

std::string HomeFolder() {
  if (::geteuid() != 0)
    if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
  return HomeFromPasswd(::geteuid());
}

std::string InvokerHomeFolder() {
  if (::geteuid() == 0)
    for (const char* variable : kInvokerVariables)
      if (auto invoker = InvokerUid(variable))
        if (std::string home = HomeFromPasswd(static_cast<uid_t>(*invoker)); !home.empty()) return home;
  return HomeFolder();
}

bool IsTrustedOwner(unsigned uid) {
  if (uid == 0 || uid == ::geteuid()) return true;
  if (::geteuid() != 0) return false;
  for (const char* variable : kInvokerVariables)
    if (auto invoker = InvokerUid(variable); invoker && *invoker == uid) return true;
  return false;
}

std::optional<std::string> TrustedPrefix(const std::string& prefix, std::string& reason) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path resolved = fs::canonical(prefix, ec);
  if (ec) {
    reason = prefix + (ec == std::errc::no_such_file_or_directory ? " does not exist" : ": " + ec.message());
    return std::nullopt;
  }
  // "/" first, then each folder down to the prefix itself.
  fs::path folder;
  const fs::path last = resolved;
  for (const fs::path& part : resolved) {
    folder /= part;
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      reason = folder.string() + " is not a folder";
      return std::nullopt;
    }
    if (!IsTrustedOwner(st.st_uid)) {
      reason = folder.string() + " belongs to user " + std::to_string(st.st_uid);
      return std::nullopt;
    }
    const bool othersWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    const bool sticky = (st.st_mode & S_ISVTX) != 0;
    if (othersWrite && (!sticky || folder == last)) {
      reason = folder.string() + " can be written by other users";
      return std::nullopt;
    }
  }
  return resolved.string();
}

}  // namespace platform
