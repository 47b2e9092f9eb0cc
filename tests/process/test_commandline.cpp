// How a command line splits into arguments, and which host file a program
// argument names.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/lasterror.h"
#include "platform/fs/paths.h"
#include "platform/process/process.h"
#include "platform/fs/sysfolders.h"
#include "testmachine.h"

namespace fs = std::filesystem;
using platform::SplitCommandLine;

namespace {

struct SplitCase {
  const wchar_t* line;
  std::vector<std::wstring> args;
};

// The ISO tool's line as the ISO step builds it for a 64-bit source: the
// work folder's closing quote follows a backslash directly.
const wchar_t* const kIsoLine =
    LR"("Z:\prog\Oscdimg_x86\Oscdimg\oscdimg.exe" -lWIN7 -m -o -u1 -udfver102 )"
    LR"(-bootdata:2#p0,e,b"Z:\prog\Oscdimg_amd64\Oscdimg\etfsboot.com"#pEF,e,b"Z:\prog\Oscdimg_amd64\Oscdimg\efisys.bin")"
    LR"( "D:\OvantaToolTmp0\" "E:\Out\LABEL.iso")";

const std::vector<std::wstring> kIsoArgs = {
    LR"(Z:\prog\Oscdimg_x86\Oscdimg\oscdimg.exe)",
    L"-lWIN7", L"-m", L"-o", L"-u1", L"-udfver102",
    LR"(-bootdata:2#p0,e,bZ:\prog\Oscdimg_amd64\Oscdimg\etfsboot.com#pEF,e,bZ:\prog\Oscdimg_amd64\Oscdimg\efisys.bin)",
    LR"(D:\OvantaToolTmp0\)", LR"(E:\Out\LABEL.iso)"};

TEST(SplitCommandLine, SplitsByTheSystemsRule) {
  const SplitCase cases[] = {
      {kIsoLine, kIsoArgs},
      {LR"(diskpart /s "C:\ProgramData\Ovanta\Kestrunex\dp.txt")", {L"diskpart", L"/s", LR"(C:\ProgramData\Ovanta\Kestrunex\dp.txt)"}},
      {L"  a\t\tb   c  ", {L"a", L"b", L"c"}},
      {LR"(a "" b)", {L"a", L"", L"b"}},
      {LR"("say ""hi"" there" x)", {LR"(say "hi" there)", L"x"}},
      {LR"(a\\ "b\" c)", {LR"(a\\)", LR"(b\)", L"c"}},
      {LR"(pre"quoted part"post)", {L"prequoted partpost"}},
      {LR"("unclosed tail)", {L"unclosed tail"}},
      {L"", {}},
  };
  for (const SplitCase& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
}

// A machine with an executable "kxprobe.exe" in System32 and a "kxprobe"
// beside the program; each test removes what it needs gone.
class ResolveProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    system32_ = machine_.Root('C') / "Windows" / "System32";
    fs::create_directories(system32_);
    programTool_ = fs::read_symlink("/proc/self/exe").parent_path() / "kxprobe";
    for (const fs::path& p : {system32_ / "kxprobe.exe", programTool_})
      fs::copy_file(KX_FAKE_TOOL, p, fs::copy_options::overwrite_existing);
  }
  void TearDown() override { fs::remove(programTool_); }

  kxtest::TestMachine machine_;
  fs::path system32_;
  fs::path programTool_;
};

// A tool planted in the machine's System32 (the prefix's drive_c) never runs
// in place of the program's own.
TEST_F(ResolveProgram, BareNameIsTheProgramFoldersToolNeverTheMachinesSystemOne) {
  EXPECT_EQ(platform::ResolveProgram(L"kxprobe"), programTool_.string());
  EXPECT_EQ(platform::ResolveProgram(L"KXPROBE.EXE"), programTool_.string());
  EXPECT_EQ(platform::ResolveProgram(L"kxprobe.exe"), programTool_.string());
  {
    platform::ScopedToolFolder stand_ins(platform::SystemPathFromHost(system32_.string()));
    EXPECT_EQ(platform::ResolveProgram(L"kxprobe"), (system32_ / "kxprobe.exe").string());
  }
  fs::remove(programTool_);
  platform::SetLastError(0);
  EXPECT_EQ(platform::ResolveProgram(L"kxprobe"), "");
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_FILE_NOT_FOUND);
}

TEST_F(ResolveProgram, WindowsPathGoesThroughTheDriveNamespace) {
  EXPECT_EQ(platform::ResolveProgram(LR"(c:\windows\system32\KXPROBE.exe)"), (system32_ / "kxprobe.exe").string());
  struct Case {
    const wchar_t* path;
    platform::DWORD error;
  } cases[] = {{LR"(C:\Windows\System32\absent.exe)", platform::ERROR_FILE_NOT_FOUND},
               {LR"(C:\Windows\System32\plain.txt)", platform::ERROR_ACCESS_DENIED},
               {LR"(Q:\tool.exe)", platform::ERROR_PATH_NOT_FOUND}};
  machine_.WriteFile('C', "Windows/System32/plain.txt", "not a program");
  for (const Case& c : cases) {
    platform::SetLastError(0);
    EXPECT_EQ(platform::ResolveProgram(c.path), "") << c.path;
    EXPECT_EQ(platform::GetLastError(), c.error) << c.path;
  }
}

}  // namespace
