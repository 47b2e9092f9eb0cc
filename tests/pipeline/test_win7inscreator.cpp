#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "disk/appfolders.h"
#include "pipeline/checkoperation.h"
#include "pipeline/completeoperation.h"
#include "pipeline/operationfactory.h"
#include "pipeline/steplists.h"
#include "pipeline/win7inscreator.h"
#include "testmachine.h"

namespace {

// An operation whose outcome and blocking the test decides.
class ScriptedOperation : public BasicOperation {
 public:
  ScriptedOperation(int step, std::vector<int>& ran, int result) : step_(step), ran_(ran), result_(result) {}
  int Excute() override {
    ran_.push_back(step_);
    if (onRun) onRun();
    return result_;
  }
  std::function<void()> onRun;

 private:
  int step_;
  std::vector<int>& ran_;
  int result_;
};

class CreatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetStepListsForTesting();
    std::memset(&info_, 0, sizeof info_);
    SetInfoField(info_.szSourcePath, L"E:\\");
    SetInfoField(info_.szTmpPath, L"C:\\work\\");
    SetInfoField(info_.szImgDriverPath, L"C:\\prog\\OS");
    GetAppDataFolder();  // the program makes its data folder before the first trace line
  }
  void TearDown() override { ResetStepListsForTesting(); }

  // Records every step made and runs scripted operations for them.
  Win7InsCreator::Factory Recording(int failAt = 0, std::function<void(int)> onRun = {}) {
    return [this, failAt, onRun](Win7InsCreator& c) -> std::unique_ptr<BasicOperation> {
      int step = c.CurrentStep();
      made_.push_back(step);
      if (step == kEndMark) return std::make_unique<CompleteOperation>();
      auto op = std::make_unique<ScriptedOperation>(step, ran_, step == failAt ? 0 : 1);
      if (onRun) op->onRun = [onRun, step] { onRun(step); };
      return op;
    };
  }

  kxtest::TestMachine machine_{{.letter = 'E', .type = "cdrom"}};
  WIN7_OPERAT_INFO info_;
  std::vector<int> made_, ran_;
};

}  // namespace

TEST_F(CreatorTest, IsoModeRunsItsListAndCompatibilitySubstitutesInstallWim) {
  Win7InsCreator plain(&info_, nullptr, kModeIso, false, Recording());
  EXPECT_EQ(plain.Excute(), 1);
  EXPECT_EQ(ran_, (std::vector<int>{6, 3, 20, 16, 4}));
  EXPECT_EQ(made_, (std::vector<int>{6, 3, 20, 16, 4, kEndMark}));

  ran_.clear();
  Win7InsCreator compatible(&info_, nullptr, kModeIso, true, Recording());
  EXPECT_EQ(compatible.Excute(), 1);
  EXPECT_EQ(ran_, (std::vector<int>{6, 3, 20, 17, 4}));

  // The substitution stays for the rest of the process, box ticked or not.
  ran_.clear();
  Win7InsCreator again(&info_, nullptr, kModeIso, false, Recording());
  EXPECT_EQ(again.Excute(), 1);
  EXPECT_EQ(ran_, (std::vector<int>{6, 3, 20, 17, 4}));
}

TEST_F(CreatorTest, UsbModeSubstitutesOnlyForAnEmbeddedSourceWithTheBoxTicked) {
  Win7InsCreator ticked(&info_, nullptr, kModeUsb, true, Recording());
  EXPECT_EQ(ticked.Excute(), 1);
  EXPECT_EQ(ran_, (std::vector<int>{5, 8, 9, 7, 19}));

  machine_.WriteFile('E', "sources/product.ini", "[sku]\nType=embedded\n");
  ran_.clear();
  Win7InsCreator unticked(&info_, nullptr, kModeUsb, false, Recording());
  EXPECT_EQ(unticked.Excute(), 1);
  EXPECT_EQ(ran_, (std::vector<int>{5, 8, 9, 7, 19}));

  ran_.clear();
  Win7InsCreator embedded(&info_, nullptr, kModeUsb, true, Recording());
  EXPECT_EQ(embedded.Excute(), 1);
  EXPECT_EQ(ran_, (std::vector<int>{5, 8, 9, 18, 19}));
}

// Storage packages in the run's OS folder make a USB run what an Embedded
// source makes it (the front ends tick the box for them), and the trace
// log names them.
TEST_F(CreatorTest, UsbModeSubstitutesForStoragePackagesWithTheBoxTicked) {
  machine_.WriteFile('C', "prog/OS/AutoUnattend/Storage/kxnvme_0a1b2c3d/kxnvme.inf", "");
  Win7InsCreator creator(&info_, nullptr, kModeUsb, true, Recording());
  EXPECT_EQ(creator.Excute(), 1);
  EXPECT_EQ(ran_, (std::vector<int>{5, 8, 9, 18, 19}));
  EXPECT_NE(kxtest::ReadHostFile(machine_.Root('C') / "ProgramData" / "Ovanta" / "Kestrunex" / "RAREzodav.log")
                .find("[Win7InsCreator] storage driver packages, compatibility mode forced: kxnvme_0a1b2c3d\r\n"),
            std::string::npos);
}

TEST_F(CreatorTest, TheFirstFailingStepEndsTheRunAndLaterStepsAreNeverMade) {
  Win7InsCreator creator(&info_, nullptr, kModeIso, false, Recording(3));
  EXPECT_EQ(creator.Excute(), 0);
  EXPECT_EQ(ran_, (std::vector<int>{6, 3}));
  EXPECT_EQ(made_, (std::vector<int>{6, 3}));
  ASSERT_NE(creator.Operation(), nullptr);  // the failed operation stays current
  EXPECT_FALSE(creator.Operation()->IsComplete());
}

TEST_F(CreatorTest, StopDuringAStepThatRunsToItsEndMakesButDoesNotRunTheRest) {
  std::unique_ptr<Win7InsCreator> creator;
  creator = std::make_unique<Win7InsCreator>(&info_, nullptr, kModeUsb, false, Recording(0, [&](int step) {
                                               if (step == 5 && made_.size() == 1) {
                                                 // The window thread cancels while the format runs.
                                                 std::thread([&] { creator->Stop(); }).join();
                                               }
                                             }));
  EXPECT_EQ(creator->Excute(), 1);
  EXPECT_EQ(ran_, (std::vector<int>{5}));
  EXPECT_EQ(made_, (std::vector<int>{5, 8, 9, 7, 19, kEndMark}));
  ASSERT_NE(creator->Operation(), nullptr);
  EXPECT_TRUE(creator->Operation()->IsComplete());

  // The stop stays until the creator is rearmed between runs.
  ran_.clear();
  EXPECT_EQ(creator->Excute(), 1);
  EXPECT_TRUE(ran_.empty());
  creator->Rearm();
  EXPECT_EQ(creator->Excute(), 1);
  EXPECT_EQ(ran_, (std::vector<int>{5, 8, 9, 7, 19}));
}

TEST_F(CreatorTest, StopRacingTheReplacementOfOperationsIsSafe) {
  // Hammer Stop from another thread while the creator replaces operations;
  // an operation stopped after its destruction began is caught.
  class Guarded : public BasicOperation {
   public:
    explicit Guarded(std::atomic<int>& late) : late_(late) {}
    ~Guarded() override { alive_ = false; }
    int Excute() override { return 1; }
    void Stop() override {
      if (!alive_) ++late_;
    }

   private:
    std::atomic<bool> alive_{true};
    std::atomic<int>& late_;
  };
  std::atomic<int> late{0};
  std::atomic<bool> done{false};
  Win7InsCreator creator(&info_, nullptr, kModeIso, false, [&](Win7InsCreator& c) -> std::unique_ptr<BasicOperation> {
    if (c.CurrentStep() == kEndMark) return std::make_unique<CompleteOperation>();
    return std::make_unique<Guarded>(late);
  });
  std::thread stopper([&] {
    while (!done) {
      creator.Stop();
      std::this_thread::yield();
    }
  });
  // Each run ends as the stop falls; what counts is that no stop lands late.
  for (int i = 0; i < 200; ++i) static_cast<void>(creator.Excute());
  done = true;
  stopper.join();
  EXPECT_EQ(late, 0);
}

TEST_F(CreatorTest, TraceShowsOneLinePerPositionAndTheEndMark) {
  Win7InsCreator creator(&info_, nullptr, kModeIso, false, Recording());
  EXPECT_EQ(creator.Excute(), 1);
  std::string log = kxtest::ReadHostFile(machine_.Root('C') / "ProgramData/Ovanta/Kestrunex/RAREzodav.log");
  for (int p = 0; p < 5; ++p)
    EXPECT_NE(log.find("[Win7InsCreator::Excute] State: " + std::to_string(p) + "\r\n"), std::string::npos);
  EXPECT_EQ(log.find("State: 5"), std::string::npos);
  EXPECT_NE(log.find("CompleteOperation create\r\n"), std::string::npos);
}

TEST_F(CreatorTest, AModeWithoutAListFailsAtOnce) {
  Win7InsCreator creator(&info_, nullptr, 2, true, Recording());
  EXPECT_EQ(creator.Excute(), 0);
  EXPECT_TRUE(made_.empty());
}

TEST(StepLists, CountsAndFormatStep) {
  ResetStepListsForTesting();
  EXPECT_EQ(StepCount(0), 5);
  EXPECT_EQ(StepCount(1), 5);
  EXPECT_EQ(StepCount(2), 0);
  EXPECT_TRUE(HasFormatStep(0));
  EXPECT_FALSE(HasFormatStep(1));
}

TEST_F(CreatorTest, CopyWeightsShareTheListInProportionToTheFolders) {
  // Sparse files give the folders their sizes without using the space. The
  // Other folder lives beside the program, here the test binary.
  auto sparse = [](const std::filesystem::path& file, std::uint64_t mb) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file).close();
    std::filesystem::resize_file(file, mb * 1048576);
  };
  // The shipped Other\x86 beside the test binary holds less than 1 MiB; a
  // sparse file of 40 MiB joins it for this test only.
  const auto extra = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "Other/x86/weight-test.bin";
  struct Remove {
    std::filesystem::path file;
    ~Remove() { std::filesystem::remove(file); }
  } cleanup{extra};
  sparse(machine_.Root('E') / "sources/install.wim", 3000);
  sparse(machine_.Root('C') / "prog/OS/data.bin", 60);
  sparse(extra, 40);
  Win7InsCreator creator(&info_, nullptr, kModeUsb, false, Recording());
  const double w8 = StepWeight(creator, 8), w7 = StepWeight(creator, 7), w19 = StepWeight(creator, 19);
  EXPECT_DOUBLE_EQ(w8, 3.0 * 3000 / 3100);
  EXPECT_DOUBLE_EQ(w7, 3.0 * 60 / 3100);
  EXPECT_DOUBLE_EQ(w19, 3.0 * 40 / 3100);
  EXPECT_DOUBLE_EQ(StepWeight(creator, 9), 1.0);
  EXPECT_NEAR(w8 + w7 + w19, 3.0, 1e-12);
}

TEST_F(CreatorTest, CopyWeightsOfFoldersUnderOneMegabyteAreOne) {
  machine_.WriteFile('E', "setup.exe", "tiny");
  Win7InsCreator creator(&info_, nullptr, kModeIso, false, Recording());
  EXPECT_DOUBLE_EQ(StepWeight(creator, 6), 1.0);
}
