// The script runner: the three scripts byte for byte, one script file, the
// tool's exit code as the result.

#include <gtest/gtest.h>

#include <filesystem>

#include "disk/usb/cdiskop.h"
#include "disk/usb/runhidden.h"
#include "platform/fs/paths.h"
#include "usbkit.h"

namespace {

struct ScriptCase {
  const char* name;
  std::string text;
  std::string expected;
};

class Scripts : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(Scripts, AreTheSystemToolsScriptsByteForByte) { EXPECT_EQ(GetParam().text, GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Texts, Scripts,
    ::testing::Values(
        ScriptCase{"Fat32", gs::CDiskOP::FormatScript(1, 1, true),
                   "sel disk 1\r\nsel par 1\r\nformat fs=FAT32 quick\r\nexit\r\n"},
        ScriptCase{"Ntfs", gs::CDiskOP::FormatScript(3, 2, false),
                   "sel disk 3\r\nsel par 2\r\nformat fs=NTFS quick\r\nexit\r\n"},
        ScriptCase{"Active", gs::CDiskOP::ActiveScript(1, 2), "sel disk 1\r\nsel par 2\r\nactive\r\nexit\r\n"},
        ScriptCase{"Clean", gs::CDiskOP::CleanScript(2, "e"),
                   "sel disk 2\r\nclean\r\ncrea part prim\r\nsel part 1\r\nformat fs=fat32 quick\r\n"
                   "assign letter=e\r\nactive\r\nexit\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

std::string ScriptOnDisk() {
  std::string host;
  EXPECT_TRUE(platform::ResolvePath(gs::CDiskOP::Instance()->ScriptPath(), host));
  return kxtest::ReadHostFile(host);
}

TEST(CDiskOP, OneScriptFileInTheCurrentFolderRewrittenForEveryScript) {
  kxusb::UsbMachine m({kxtest::VirtualDisk{1, 100, "usb", true, "label: dos\\nstart=2048,type=c\\n"}}, {});
  gs::CDiskOP* op = gs::CDiskOP::Instance();
  static_cast<void>(op->DeleteScriptFile());  // a file another test left, if any
  EXPECT_TRUE(op->DeleteScriptFile()) << "deleting when there is no file";
  ASSERT_TRUE(op->CreateScriptFile());
  std::wstring first = op->ScriptPath();
  ASSERT_TRUE(op->CreateScriptFile());
  EXPECT_EQ(op->ScriptPath(), first) << "a second call makes no second file";
  EXPECT_EQ(first.rfind(L".\\_", 0), 0u);
  EXPECT_EQ(first.substr(first.size() - 4), L".tmp");
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::current_path()))
    files += e.path().extension() == ".tmp";
  EXPECT_EQ(files, 1);

  EXPECT_TRUE(op->FormatPartition(1, 1, true));
  EXPECT_EQ(ScriptOnDisk(), "sel disk 1\r\nsel par 1\r\nformat fs=FAT32 quick\r\nexit\r\n");
  EXPECT_FALSE(op->SetActive(1, 2)) << "no partition 2: the tool exits non-zero";
  EXPECT_EQ(ScriptOnDisk(), "sel disk 1\r\nsel par 2\r\nactive\r\nexit\r\n") << "truncated, not appended";
  EXPECT_TRUE(op->DeleteScriptFile());
  EXPECT_TRUE(op->ScriptPath().empty());
  EXPECT_FALSE(op->RunScript("exit\r\n")) << "RunScript needs the file CreateScriptFile makes";
}

TEST(RunHidden, ReportsTheExitCodeAndAStartFailure) {
  kxusb::UsbMachine m({}, {});
  m.WrapDiskpart("exit 7");
  platform::DWORD code = 0;
  ASSERT_TRUE(RunHidden(L"diskpart /s x", &code));
  EXPECT_EQ(code, 7u);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(RunHidden(L"no-such-tool-here", &code));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "create process fail\n");
}

}  // namespace
