// The read-back check as both front ends run it: the plan comes from the
// steps the run took, so a second run of the process, after the
// compatibility substitution changed the list for good, is checked against
// what it wrote; and the image of a disc without a label (".iso") is found.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "disk/appfolders.h"
#include "pipeline/steplists.h"
#include "platform/fs/paths.h"
#include "platform/fs/sysfolders.h"
#include "platform/text.h"
#include "testmachine.h"
#include "verify/productcheck.h"

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// A one-file WIM whose content tells it apart.
void MakeWim(const fs::path& wim, const fs::path& scratch, const std::string& content) {
  fs::remove_all(scratch);
  Write(scratch / "Windows/marker.txt", content);
  fs::create_directories(wim.parent_path());
  fs::remove(wim);
  ASSERT_EQ(std::system(("wimlib-imagex capture '" + scratch.string() + "' '" + wim.string() +
                         "' PE --compress=none >/dev/null")
                            .c_str()),
            0);
}

class ProductCheckRuns : public testing::Test {
 protected:
  void SetUp() override {
    ResetStepListsForTesting();
    GetAppDataFolder();
    source_ = machine_.Root('E');
    Write(source_ / "bootmgr", "boot manager");
    Write(source_ / "boot/etfsboot.com", std::string(2048, 'b'));
    Write(source_ / "setup.exe", "setup");
    MakeWim(source_ / "sources/boot.wim", scratch(), "boot as shipped");
    MakeWim(source_ / "sources/install.wim", scratch(), "install as shipped");
    Write(machine_.Root('C') / "os/AutoUnattend/Intel/x.inf", "driver");
    fs::create_directories(machine_.Root('C') / "isos");
    std::memset(&info_, 0, sizeof info_);
    SetInfoField(info_.szSourcePath, L"E:\\");
    SetInfoField(info_.szTmpPath, L"C:\\work\\");
    SetInfoField(info_.szImgDriverPath, L"C:\\os");
    SetInfoField(info_.szTagPath, L"C:\\isos");
    info_.bIs64bitDVD = false;
  }
  void TearDown() override { ResetStepListsForTesting(); }

  fs::path scratch() const { return machine_.dir().path() / "scratch"; }
  fs::path work() const { return machine_.Root('C') / "work"; }

  // What an ISO run leaves: the work folder as its steps made it, and the
  // image of it in the ISO folder, under the name the run gives it.
  void MakeRunProduct(bool compatible, const std::string& name) {
    fs::remove_all(work());
    fs::copy(source_, work(), fs::copy_options::recursive);
    std::string program;
    ASSERT_TRUE(platform::ResolvePath(platform::GetProgramFolder(), program));
    fs::copy(fs::path(program) / "Other/x86", work(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    MakeWim(work() / "sources/boot.wim", scratch(), "boot serviced");
    if (compatible) MakeWim(work() / "sources/install.wim", scratch(), "install serviced");
    else fs::copy(machine_.Root('C') / "os", work(), fs::copy_options::recursive);
    const fs::path iso = machine_.Root('C') / "isos" / name;
    ASSERT_EQ(std::system(("xorriso -as mkisofs -quiet -iso-level 3 -J -joliet-long -b boot/etfsboot.com "
                           "-no-emul-boot -boot-load-size 4 -o '" + iso.string() + "' '" + work().string() +
                           "' 2>/dev/null")
                              .c_str()),
              0);
  }

  ProductCheck::Outcome Check(ProductCheck& check) {
    std::atomic<bool> cancel{false};
    const ProductCheck::Outcome outcome = check.Run([](const std::wstring&) {}, cancel);
    EXPECT_EQ(outcome, ProductCheck::Outcome::Passed) << platform::AnsiFromWide(check.Line());
    return outcome;
  }

  kxtest::TestMachine machine_{{.letter = 'E', .type = "cdrom", .label = ""}};
  fs::path source_;
  WIN7_OPERAT_INFO info_;
};

TEST_F(ProductCheckRuns, FollowTheStepsEachRunTookAndFindTheImageOfADiscWithoutLabel) {
  // The first run: the lists as the program starts, the image named ".iso".
  ProductCheck first(info_, kModeIso);
  MakeRunProduct(false, ".iso");
  Check(first);
  EXPECT_EQ(first.NewIsoFiles(), std::vector<std::string>{".iso"});

  // A run with compatibility substitutes for the rest of the process; the
  // next run takes the substituted list whatever its settings say.
  SubstituteInstallWimSteps(kModeIso);
  ProductCheck second(info_, kModeIso);
  MakeRunProduct(true, "0.iso");
  Check(second);
  EXPECT_EQ(second.NewIsoFiles(), std::vector<std::string>{"0.iso"});
}

}  // namespace
