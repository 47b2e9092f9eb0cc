// The real step table: which operation each step makes, with which state,
// source and target, as the constructors' trace lines show them.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "disk/appfolders.h"
#include "pipeline/completeoperation.h"
#include "pipeline/operationfactory.h"
#include "pipeline/steplists.h"
#include "pipeline/win7inscreator.h"
#include "platform/machine/machine.h"
#include "platform/fs/sysfolders.h"
#include "platform/text.h"
#include "testmachine.h"

namespace fs = std::filesystem;

namespace {

struct Made {
  int step;
  int state;
};

class FactoryTest : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ResetStepListsForTesting();
    GetAppDataFolder();
    std::memset(&info, 0, sizeof info);
    SetInfoField(info.szSourcePath, L"E:\\");
    SetInfoField(info.szDriverPath, L"C:\\ProgramData\\Ovanta\\Kestrunex\\U3");
    SetInfoField(info.szImgDriverPath, platform::GetProgramFolder() + L"OS");
    SetInfoField(info.szTagPath, L"F:\\");
    SetInfoField(info.szTmpPath, L"C:\\work\\");
    info.bIs64bitDVD = GetParam();
  }
  void TearDown() override { ResetStepListsForTesting(); }

  // Makes every operation of the mode's list with the real factory, runs none.
  std::vector<Made> MakeAll(int mode, bool compatible) {
    std::vector<Made> made;
    Win7InsCreator creator(&info, nullptr, mode, compatible, [&](Win7InsCreator& c) {
      std::unique_ptr<BasicOperation> op = CreateOperation(c);
      made.push_back({c.CurrentStep(), op->State()});
      return std::unique_ptr<BasicOperation>(std::make_unique<CompleteOperation>());
    });
    EXPECT_EQ(creator.Excute(), 1);  // every operation made stands as the end mark
    return made;
  }
  std::string Trace() const {
    return kxtest::ReadHostFile(machine.Root('C') / "ProgramData/Ovanta/Kestrunex/RAREzodav.log");
  }
  bool Traced(const std::string& line) const { return Trace().find(line + "\r\n") != std::string::npos; }

  kxtest::TestMachine machine{{.letter = 'E', .type = "cdrom"}, {.letter = 'F', .type = "removable", .bus = "usb"}};
  WIN7_OPERAT_INFO info;
};

}  // namespace

TEST_P(FactoryTest, UsbStepsCopyOntoTheDiskAndServiceItsBootWim) {
  const bool x64 = GetParam();
  const std::string program = platform::AnsiFromWide(platform::GetProgramFolder());
  std::vector<Made> made = MakeAll(kModeUsb, false);
  ASSERT_EQ(made.size(), 6u);
  EXPECT_EQ(made[1].step, 8);
  EXPECT_EQ(made[1].state, 5);
  EXPECT_EQ(made[3].step, 7);
  EXPECT_EQ(made[3].state, 5);
  EXPECT_EQ(made[4].step, 19);
  EXPECT_EQ(made[4].state, 5);
  EXPECT_TRUE(Traced("[CopyOperation:: m_SourcePath]E:\\"));
  EXPECT_TRUE(Traced("[CopyOperation:: m_TagPath]F:\\"));
  EXPECT_TRUE(Traced("[CopyOperation:: m_SourcePath]" + program + "OS"));
  EXPECT_TRUE(Traced("[CopyOperation:: m_SourcePath]" + program + (x64 ? "Other\\x64" : "Other\\x86")));
  EXPECT_TRUE(Traced("[DismOperation ] create, mWimPath: F:\\sources\\boot.wim"));
  // Making step 8 copies the "efi" folder of a 64-bit source first.
  EXPECT_EQ(fs::exists(machine.Root('F') / "efi/boot/bootx64.efi"), x64);
}

TEST_P(FactoryTest, IsoStepsCopyIntoTheWorkFolderAndCompatibilityServicesInstallWim) {
  std::vector<Made> made = MakeAll(kModeIso, true);
  ASSERT_EQ(made.size(), 6u);
  for (int i : {0, 2}) EXPECT_EQ(made[i].state, 2) << made[i].step;
  EXPECT_EQ(made[3].step, 17);
  EXPECT_TRUE(Traced("[CopyOperation:: m_TagPath]C:\\work\\"));
  EXPECT_TRUE(Traced("[DismOperation ] create, mWimPath: C:\\work\\sources\\boot.wim"));
  EXPECT_TRUE(Traced("[DismOperation ] create, mWimPath: C:\\work\\sources\\install.wim"));
  EXPECT_FALSE(fs::exists(machine.Root('F') / "efi"));
  // Step 4 is the ISO step, its boot files from the source's architecture.
  EXPECT_EQ(made[4].step, 4);
  EXPECT_EQ(made[4].state, 17);
  const std::string program = platform::AnsiFromWide(platform::GetProgramFolder());
  EXPECT_TRUE(Traced("[ISOOperation::tmp_oscdTool]" + program +
                     (GetParam() ? "Oscdimg_amd64" : "Oscdimg_x86") + "\\Oscdimg\\oscdimg.exe"));
}

TEST_P(FactoryTest, UsbCompatibilityWithAnEmbeddedSourceServicesTheDisksInstallWim) {
  machine.WriteFile('E', "sources/product.ini", "[sku]\nType=Embedded\n");
  std::vector<Made> made = MakeAll(kModeUsb, true);
  ASSERT_EQ(made.size(), 6u);
  EXPECT_EQ(made[3].step, 18);
  EXPECT_TRUE(Traced("[DismOperation ] create, mWimPath: F:\\sources\\install.wim"));
}

INSTANTIATE_TEST_SUITE_P(Source, FactoryTest, testing::Values(true, false),
                         [](const auto& p) { return p.param ? "Amd64" : "X86"; });
