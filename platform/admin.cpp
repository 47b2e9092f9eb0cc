#include "platform/admin.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace platform {

namespace {

constexpr char kSystemPath[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
constexpr std::size_t kMaxLocaleChars = 64;  // "de_DE.UTF-8@euro" and lists of them are far shorter

const char* const kKeptNames[] = {"DISPLAY", "XAUTHORITY", "KESTRUNEX_PREFIX", "SUDO_UID", "SUDO_GID",
                                  "SUDO_USER", "PKEXEC_UID"};

bool IsLanguageName(const std::string& name) {
  return name == "LANG" || name == "LANGUAGE" || (name.rfind("LC_", 0) == 0 && name.size() > 3);
}

// A locale name or a LANGUAGE list of them ("pt_BR:pt"): a name with a
// slash would make the C library load locale files from that path.
bool IsPlainLocale(const std::string& value) {
  if (value.size() > kMaxLocaleChars) return false;
  for (char c : value) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                       c == '.' || c == '-' || c == '@' || c == ':';
    if (!plain) return false;
  }
  return value.find("..") == std::string::npos;
}

}  // namespace

bool IsUserAnAdmin() { return ::geteuid() == 0; }

std::vector<std::string> AdministratorEnvironment(const std::vector<std::string>& caller, const std::string& home) {
  std::vector<std::string> kept;
  for (const std::string& entry : caller) {
    const std::size_t eq = entry.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    const std::string name = entry.substr(0, eq);
    bool keep = IsLanguageName(name) && IsPlainLocale(entry.substr(eq + 1));
    for (const char* allowed : kKeptNames) keep = keep || name == allowed;
    // The first of a name counts, as getenv reads it.
    for (const std::string& k : kept) keep = keep && k.compare(0, eq + 1, entry, 0, eq + 1) != 0;
    if (keep) kept.push_back(entry);
  }
  kept.push_back(kSystemPath);
  kept.push_back("HOME=" + home);
  return kept;
}

std::vector<std::string> CurrentEnvironment() {
  std::vector<std::string> entries;
  for (char** e = environ; e && *e; ++e) entries.emplace_back(*e);
  return entries;
}

void ReplaceEnvironment(const std::vector<std::string>& entries) {
  ::clearenv();
  for (const std::string& entry : entries) {
    const std::size_t eq = entry.find('=');
    if (eq != std::string::npos) ::setenv(entry.substr(0, eq).c_str(), entry.c_str() + eq + 1, 1);
  }
}

std::string AdministratorHome() {
  const passwd* pw = ::getpwuid(::geteuid());
  return pw && pw->pw_dir && pw->pw_dir[0] == '/' ? pw->pw_dir : "/";
}

}  // namespace platform
