// The worker thread against a screenless main window: what it queues, what
// it reports on the window thread, and how it parks, resumes and ends.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/ovmultilangdll.h"
#include "disk/appfolders.h"
#include "pipeline/completeoperation.h"
#include "pipeline/operationfactory.h"
#include "pipeline/opmessages.h"
#include "pipeline/steplists.h"
#include "pipeline/toperationthd.h"
#include "platform/windows/messagequeuewindow.h"
#include "testmachine.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kPatience = 20s;

// The main window as the worker sees it: the message queue, the status label
// (set from each state's text, as the real window does) and ShowResult. The
// events are recorded in the order the window thread handles them.
class FakeMainWindow final : public RunResultView {
 public:
  FakeMainWindow()
      : queue_([this](platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) {
          if (message == WM_OPSTATE) {
            events.push_back("state " + std::to_string(wParam) + " " + std::to_string(lParam));
            std::wstring key = StateTextKey(static_cast<int>(wParam));
            if (!key.empty()) status_ = Translate(key);
          }
          return platform::LRESULT{0};
        }) {
    platform::SetMainThread(&queue_);
  }
  ~FakeMainWindow() override { platform::SetMainThread(nullptr); }

  std::wstring StatusText() const override { return status_; }
  void SetStatusText(const std::wstring& text) override { status_ = text; }
  void ShowResult(int result) override {
    events.push_back("result " + std::to_string(result));
    results.push_back(result);
  }

  platform::HWND hwnd() { return &queue_; }
  platform::MessageQueueWindow& queue() { return queue_; }
  // Handles messages until the worker has reported `count` results in all.
  bool PumpUntilResults(size_t count) {
    return queue_.PumpUntil([&] { return results.size() >= count; }, kPatience);
  }
  bool PumpUntilEvent(const std::string& event) {
    return queue_.PumpUntil([&] { return std::find(events.begin(), events.end(), event) != events.end(); }, kPatience);
  }

  std::vector<std::string> events;
  std::vector<int> results;

 private:
  platform::MessageQueueWindow queue_;
  std::wstring status_;
};

// A step that posts its state and returns what the test chose; with a gate it
// waits, ignoring Stop, until the test opens it (a step that cannot be
// interrupted, like formatting).
class TestStep final : public BasicOperation {
 public:
  struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
    void Open() {
      std::lock_guard lock(mutex);
      open = true;
      cv.notify_all();
    }
  };

  TestStep(platform::HWND hWnd, int state, int result, std::atomic<int>& runs, Gate* gate)
      : BasicOperation(hWnd, state), result_(result), runs_(runs), gate_(gate) {}

  int Excute() override {
    ++runs_;
    PostState(10);
    if (gate_) {
      std::unique_lock lock(gate_->mutex);
      gate_->cv.wait(lock, [this] { return gate_->open; });
    }
    return result_;
  }

 private:
  int result_;
  std::atomic<int>& runs_;
  Gate* gate_;
};

class OperationThdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetStepListsForTesting();
    std::memset(&info_, 0, sizeof info_);
    SetInfoField(info_.szSourcePath, L"E:\\");
    SetInfoField(info_.szTmpPath, L"C:\\work\\");
    GetAppDataFolder();
  }
  void TearDown() override { ResetStepListsForTesting(); }

  // Every position of the list gets a TestStep posting `state`; the one at
  // failAt fails, the first one waits at the gate when there is one.
  Win7InsCreator::Factory Steps(int state, int failAt = -1, TestStep::Gate* gate = nullptr) {
    return [=, this](Win7InsCreator& c) -> std::unique_ptr<BasicOperation> {
      if (c.CurrentStep() == kEndMark) return std::make_unique<CompleteOperation>();
      int index = static_cast<int>(c.Index());
      return std::make_unique<TestStep>(c.Window(), state, index == failAt ? 0 : 1, stepRuns_,
                                        index == 0 ? gate : nullptr);
    };
  }

  std::unique_ptr<TOperationThd> MakeThread(Win7InsCreator::Factory factory, bool suspended = true) {
    return std::make_unique<TOperationThd>(suspended, false, &info_, kModeUsb, window_.hwnd(), &window_,
                                           std::move(factory));
  }

  static bool WaitParked(const TOperationThd& thd) {
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!thd.Parked()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  std::string Trace() const {
    return kxtest::ReadHostFile(machine_.Root('C') / "ProgramData" / "Ovanta" / "Kestrunex" / "RAREzodav.log");
  }

  kxtest::TestMachine machine_;
  WIN7_OPERAT_INFO info_;
  std::atomic<int> stepRuns_{0};
  FakeMainWindow window_;  // outlives every worker made by a test
};

TEST_F(OperationThdTest, SuccessQueuesFinishStateBeforeReportingSuccess) {
  auto thd = MakeThread(Steps(kStateCopy));
  thd->Resume();
  ASSERT_TRUE(window_.PumpUntilResults(1));

  ASSERT_GE(window_.events.size(), 2u);
  EXPECT_EQ(window_.events[window_.events.size() - 2], "state 19 100");
  EXPECT_EQ(window_.events.back(), "result 0");
  EXPECT_EQ(std::count(window_.events.begin(), window_.events.end(), "state 19 100"), 1);
  EXPECT_EQ(window_.StatusText(), Translate(L"Successfully updated"));
  EXPECT_EQ(stepRuns_, StepCount(kModeUsb));
  EXPECT_NE(Trace().find("[UpdateResult] finish_Success"), std::string::npos);
}

TEST_F(OperationThdTest, FailureInFirstStepAppendsOperationFailedToThatStagesText) {
  auto thd = MakeThread(Steps(kStateMount, /*failAt=*/0));
  thd->Resume();
  ASSERT_TRUE(window_.PumpUntilResults(1));

  EXPECT_EQ(window_.events, (std::vector<std::string>{"state 6 10", "result 1"}));
  EXPECT_EQ(window_.StatusText(), Translate(L"Mount") + Translate(L"Operation failed"));
  EXPECT_EQ(stepRuns_, 1);
  EXPECT_EQ(thd->Result(), 0);
  EXPECT_NE(Trace().find("[UpdateResult] finish_Fail"), std::string::npos);
}

TEST_F(OperationThdTest, CancelDuringAStepThatCannotBeInterruptedReportsCancelWithoutFinishState) {
  TestStep::Gate gate;
  auto thd = MakeThread(Steps(kStateFormat, -1, &gate));
  thd->Resume();
  ASSERT_TRUE(window_.PumpUntilEvent("state 0 10"));
  thd->Cancel();
  gate.Open();
  ASSERT_TRUE(window_.PumpUntilResults(1));

  EXPECT_EQ(window_.events, (std::vector<std::string>{"state 0 10", "result 2"}));
  EXPECT_EQ(stepRuns_, 1);     // the format finished, nothing after it ran
  EXPECT_EQ(thd->Result(), 1);  // the chain itself ended well
  EXPECT_NE(Trace().find("[UpdateResult] Finish_UserCancel"), std::string::npos);
}

TEST_F(OperationThdTest, ParksAfterReportingAndResumeRunsTheChainAgain) {
  auto thd = MakeThread(Steps(kStateCopy));
  thd->Resume();
  ASSERT_TRUE(window_.PumpUntilResults(1));
  ASSERT_TRUE(WaitParked(*thd));
  EXPECT_EQ(stepRuns_, StepCount(kModeUsb));

  thd->Resume();
  ASSERT_TRUE(window_.PumpUntilResults(2));
  EXPECT_EQ(window_.results, (std::vector<int>{0, 0}));
  EXPECT_EQ(stepRuns_, 2 * StepCount(kModeUsb));
  EXPECT_EQ(std::count(window_.events.begin(), window_.events.end(), "state 19 100"), 2);
}

TEST_F(OperationThdTest, CancelOfOneRunDoesNotCarryIntoTheNext) {
  TestStep::Gate gate;
  auto thd = MakeThread(Steps(kStateFormat, -1, &gate));
  thd->Resume();
  ASSERT_TRUE(window_.PumpUntilEvent("state 0 10"));
  thd->Cancel();
  gate.Open();
  ASSERT_TRUE(window_.PumpUntilResults(1));
  ASSERT_TRUE(WaitParked(*thd));

  thd->Resume();
  ASSERT_TRUE(window_.PumpUntilResults(2));
  EXPECT_EQ(window_.results, (std::vector<int>{2, 0}));
}

TEST_F(OperationThdTest, CancelRightAfterAResumeIsReportedAsCancel) {
  // The second run's first step waits at a gate, so the cancel surely falls
  // inside that run, however soon the worker wakes.
  TestStep::Gate gate;
  int firstSteps = 0;
  auto thd = MakeThread([&](Win7InsCreator& c) -> std::unique_ptr<BasicOperation> {
    if (c.CurrentStep() == kEndMark) return std::make_unique<CompleteOperation>();
    bool gated = c.Index() == 0 && ++firstSteps == 2;
    return std::make_unique<TestStep>(c.Window(), kStateFormat, 1, stepRuns_, gated ? &gate : nullptr);
  });
  thd->Resume();
  ASSERT_TRUE(window_.PumpUntilResults(1));
  ASSERT_TRUE(WaitParked(*thd));

  thd->Resume();
  thd->Cancel();
  gate.Open();
  ASSERT_TRUE(window_.PumpUntilResults(2));
  EXPECT_EQ(window_.results, (std::vector<int>{0, 2}));
}

// A cancel that reaches the worker before its run starts (before the first
// resume, or while it is parked) is never wiped out by the run: no step runs
// (the format included) and the run is reported as cancelled.
TEST_F(OperationThdTest, CancelBeforeResumeRunsNoStepAndIsReportedAsCancel) {
  auto thd = MakeThread(Steps(kStateFormat));
  thd->Cancel();
  thd->Resume();
  ASSERT_TRUE(window_.PumpUntilResults(1));
  ASSERT_TRUE(WaitParked(*thd));
  EXPECT_EQ(stepRuns_, 0);

  thd->Resume();  // the next run is a new one
  ASSERT_TRUE(window_.PumpUntilResults(2));
  ASSERT_TRUE(WaitParked(*thd));
  EXPECT_EQ(stepRuns_, StepCount(kModeUsb));

  thd->Cancel();  // while parked
  thd->Resume();
  ASSERT_TRUE(window_.PumpUntilResults(3));
  EXPECT_EQ(stepRuns_, StepCount(kModeUsb));
  EXPECT_EQ(window_.results, (std::vector<int>{2, 0, 2}));
}

TEST_F(OperationThdTest, ResumeThatArrivesBeforeTheWorkerParksIsNotLost) {
  auto thd = MakeThread(Steps(kStateCopy));
  thd->Resume();
  ASSERT_TRUE(window_.PumpUntilResults(1));
  thd->Resume();  // the worker may not have parked yet
  ASSERT_TRUE(window_.PumpUntilResults(2));
}

TEST_F(OperationThdTest, DestructionWhileParkedEndsTheThread) {
  auto thd = MakeThread(Steps(kStateCopy));
  thd->Resume();
  ASSERT_TRUE(window_.PumpUntilResults(1));
  ASSERT_TRUE(WaitParked(*thd));
  thd.reset();
  EXPECT_EQ(window_.results.size(), 1u);
  EXPECT_EQ(window_.queue().PumpPending(), 0);  // nothing more was queued
}

TEST_F(OperationThdTest, NotSuspendedStartsAtOnceAndNeverStartedEndsWithoutARun) {
  auto never = MakeThread(Steps(kStateCopy));
  never.reset();
  EXPECT_EQ(stepRuns_, 0);

  auto thd = MakeThread(Steps(kStateCopy), /*suspended=*/false);
  ASSERT_TRUE(window_.PumpUntilResults(1));
  EXPECT_EQ(window_.results, (std::vector<int>{0}));
}

}  // namespace
