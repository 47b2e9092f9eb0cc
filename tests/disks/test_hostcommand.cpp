// Host tools run by a root process: always the system's own, never one a
// caller's PATH or a writable folder offers, and with none of the caller's
// environment.
#include "platform/disks/hostcommand.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "testmachine.h"

namespace fs = std::filesystem;
using platform::disks::RunCommand;

namespace {

TEST(HostCommand, RunsTheSystemsToolWithACleanEnvironmentWhateverThePathSays) {
  kxtest::TempDir dir;
  ::chmod(dir.path().c_str(), 0777);
  const fs::path marker = dir.path() / "planted-ran";
  ASSERT_EQ(kxtest::AsNobody("cd '" + dir.str() + "' && for t in losetup env mlabel; do printf '#!/bin/sh\\ntouch " +
                             marker.string() + "\\n' > $t; chmod 755 $t; done"),
            0);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", (dir.str() + ":" + path).c_str(), 1);
  ::setenv("KX_CALLER_SECRET", "1", 1);
  const auto env = RunCommand({"env"});
  const auto version = RunCommand({"losetup", "--version"});
  const auto byPath = RunCommand({dir.str() + "/losetup"});
  ::setenv("PATH", path.c_str(), 1);
  ::unsetenv("KX_CALLER_SECRET");

  EXPECT_FALSE(fs::exists(marker));
  EXPECT_EQ(env.exitCode, 0);
  EXPECT_EQ(env.output.find("KX_CALLER_SECRET"), std::string::npos) << env.output;
  EXPECT_NE(env.output.find("PATH=/usr/sbin:/usr/bin:/sbin:/bin\n"), std::string::npos) << env.output;
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_NE(version.output.find("util-linux"), std::string::npos) << version.output;
  EXPECT_EQ(byPath.exitCode, -1);  // only bare names, from the system's folders
  EXPECT_EQ(platform::disks::SystemToolPath("losetup").rfind("/usr/sbin/", 0) == 0 ||
                platform::disks::SystemToolPath("losetup").rfind("/sbin/", 0) == 0,
            true);
}

}  // namespace
