// What an administrator's wizard keeps of its caller's environment.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/admin.h"

using platform::AdministratorEnvironment;

namespace {

using Entries = std::vector<std::string>;

// One caller's variable each: kept, left out, or (for a plain name that
// points at files) kept only when it names no path.
TEST(AdministratorEnvironment, KeepsDisplayLanguageAndInvokerOnlyAndFixesPathAndHome) {
  struct Row {
    const char* name;
    std::string entry;
    bool kept;
  } rows[] = {
      {"Display", "DISPLAY=:0", true},
      {"Authority", "XAUTHORITY=/run/user/1000/gdm/Xauthority", true},
      {"Language", "LANG=de_DE.UTF-8", true},
      {"LanguageList", "LANGUAGE=pt_BR:pt", true},
      {"Messages", "LC_MESSAGES=ja_JP.UTF-8@x", true},
      {"LocaleAsPath", "LC_ALL=/tmp/evil", false},
      {"LocaleUpwards", "LANG=../../tmp/x", false},
      {"Prefix", "KESTRUNEX_PREFIX=/home/u/.kestrunex", true},
      {"SudoInvoker", "SUDO_UID=1000", true},
      {"PkexecInvoker", "PKEXEC_UID=1000", true},
      {"QtPluginPath", "QT_PLUGIN_PATH=/tmp/p", false},
      {"QtPlatformPluginPath", "QT_QPA_PLATFORM_PLUGIN_PATH=/tmp/p", false},
      {"QtPlatform", "QT_QPA_PLATFORM=evil", false},
      {"QtStyle", "QT_STYLE_OVERRIDE=x", false},
      {"QmlImports", "QML2_IMPORT_PATH=/tmp/q", false},
      {"Preload", "LD_PRELOAD=/tmp/x.so", false},
      {"LibraryPath", "LD_LIBRARY_PATH=/tmp", false},
      {"Wayland", "WAYLAND_DISPLAY=wayland-0", false},
      {"RuntimeFolder", "XDG_RUNTIME_DIR=/run/user/1000", false},
      {"ConfigFolder", "XDG_CONFIG_HOME=/home/u/.config", false},
      {"CallersPath", "PATH=/home/u/bin:/usr/bin", false},
      {"CallersHome", "HOME=/home/u", false},
      {"NoValueSign", "DISPLAY", false},
  };
  for (const Row& row : rows) {
    const Entries kept = AdministratorEnvironment({row.entry}, "/root");
    ASSERT_GE(kept.size(), 2u) << row.name;
    EXPECT_EQ(kept.size() == 3 && kept[0] == row.entry, row.kept) << row.name;
    EXPECT_EQ(kept[kept.size() - 2], "PATH=/usr/sbin:/usr/bin:/sbin:/bin") << row.name;
    EXPECT_EQ(kept.back(), "HOME=/root") << row.name;
  }
  // getenv reads the first of a name: a second one cannot slip past.
  EXPECT_EQ(AdministratorEnvironment({"LANG=C", "LANG=/tmp/evil", "DISPLAY=:0", "DISPLAY=:1"}, "/root"),
            (Entries{"LANG=C", "DISPLAY=:0", "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "HOME=/root"}));
}

}  // namespace
