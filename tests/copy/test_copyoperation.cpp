#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "copytestkit.h"
#include "pipeline/copyoperation.h"
#include "pipeline/opmessages.h"
#include "platform/fs/copyfile.h"

using namespace copytest;

namespace {

Posted State(int state, platform::LPARAM value) {
  return {WM_OPSTATE, static_cast<platform::WPARAM>(state), value};
}

class CopyOperationTest : public ::testing::Test {
 protected:
  CopyOperationTest() : machine_({Drive('E', "cdrom"), Drive('F', "removable")}) {
    PrepareTraceLog();
    fs::create_directories(F("dst"));
  }

  int Run(CopyOperation& op) { return op.Excute(); }

  fs::path E(const std::string& rel) const { return machine_.Root('E') / rel; }
  fs::path F(const std::string& rel) const { return machine_.Root('F') / rel; }

  kxtest::TestMachine machine_;
  RecordingWindow window_;
};

}  // namespace

TEST_F(CopyOperationTest, SuccessLogsAndEndsWithCopySuccess100) {
  machine_.WriteFile('E', "src/setup.exe", Pattern(kMiB, 'a'));
  machine_.WriteFile('E', "src/sources/boot.wim", Pattern(3 * kMiB, 'b'));
  CopyOperation op(&window_, kStateCopyOS, L"E:\\src", L"F:\\dst", 1.0);
  EXPECT_EQ(op.Excute(), 1);
  EXPECT_EQ(Snapshot(F("dst")), Snapshot(E("src")));

  const auto posted = window_.posted();
  ASSERT_FALSE(posted.empty());
  EXPECT_EQ(posted.back(), State(kStateCopySuccess, 100));
  platform::LPARAM last = 0;
  for (size_t i = 0; i + 1 < posted.size(); ++i) {
    EXPECT_EQ(posted[i].message, WM_OPSTATE);
    EXPECT_EQ(posted[i].wParam, static_cast<platform::WPARAM>(kStateCopyOS));
    EXPECT_GE(posted[i].lParam, last);
    EXPECT_LE(posted[i].lParam, 100);
    last = posted[i].lParam;
  }
  EXPECT_EQ(last, 100);
  EXPECT_TRUE(InOrder(TraceLines(), {"CopyOperation::Create", "[CopyOperation:: m_SourcePath]E:\\src",
                                     "[CopyOperation:: m_TagPath]F:\\dst", "CopyOperation::Excute",
                                     "CopyOperation::Excute - SettingOptPath", "[CopyOperation:: Srcpath]E:\\src",
                                     "[CopyOperation:: Excute] BACKUPOK"}));
}

TEST_F(CopyOperationTest, ProgressArrivesDuringOneLargeFileScaledByTheWeight) {
  struct Case {
    std::uint64_t bytes;
    double weight;
    int state;
    std::vector<platform::LPARAM> values;
  };
  // 8 MiB at weight 0.6: half of the bytes posts 30. 24 MiB: six chunks.
  const Case cases[] = {
      {8 * kMiB, 0.6, kStateCopy, {0, 30, 60}},
      {24 * kMiB, 1.0, kStateCopyOS, {0, 16, 33, 50, 66, 83, 100}},
  };
  for (const Case& c : cases) {
    RecordingWindow window;
    fs::remove_all(E("src"));
    machine_.WriteFile('E', "src/install.wim", Pattern(c.bytes, 'w'));
    CopyOperation op(&window, c.state, L"E:\\src", L"F:\\dst", c.weight);
    ASSERT_EQ(op.Excute(), 1);
    std::vector<Posted> expected;
    for (auto v : c.values) expected.push_back(State(c.state, v));
    expected.push_back(State(kStateCopySuccess, 100));
    EXPECT_EQ(window.posted(), expected) << c.bytes;
  }
}

TEST_F(CopyOperationTest, EmptyFilesPostNoProgress) {
  machine_.WriteFile('E', "src/a.txt", "");
  machine_.WriteFile('E', "src/sub/b.txt", "");
  CopyOperation op(&window_, kStateCopy, L"E:\\src", L"F:\\dst", 1.0);
  EXPECT_EQ(op.Excute(), 1);
  EXPECT_EQ(window_.posted(), std::vector<Posted>{State(kStateCopySuccess, 100)});
  EXPECT_TRUE(fs::exists(F("dst/sub/b.txt")));
}

TEST_F(CopyOperationTest, MissingTargetFolderFailsWithoutPosting) {
  machine_.WriteFile('E', "src/a.txt", "a");
  CopyOperation op(&window_, kStateCopy, L"E:\\src", L"F:\\gone", 1.0);
  EXPECT_EQ(op.Excute(), 0);
  EXPECT_TRUE(window_.posted().empty());
  EXPECT_FALSE(fs::exists(F("gone")));
  EXPECT_TRUE(InOrder(TraceLines(), {"CopyOperation::Excute", "[CopyOperation:: m_TagPath] is not exist"}));
  const auto lines = TraceLines();
  EXPECT_EQ(std::find(lines.begin(), lines.end(), "CopyOperation::Excute - SettingOptPath"), lines.end());
}

TEST_F(CopyOperationTest, CancelInTheMiddleOfALargeFilePostsCancelThenFailure) {
  machine_.WriteFile('E', "src/setup.exe", Pattern(kMiB, 'a'));
  machine_.WriteFile('E', "src/sources/install.wim", Pattern(20 * kMiB, 'i'));
  const auto before = Snapshot(E("src"));
  CopyOperation op(&window_, kStateCopy, L"E:\\src", L"F:\\dst", 1.0);
  // The user cancels once the large file is on its way.
  int chunksOfLargeFile = 0;
  platform::copyfault::ScopedHook hook([&](const platform::copyfault::Event& e) {
    if (e.point == platform::copyfault::Point::kRead && e.sourceHost.ends_with("install.wim") &&
        ++chunksOfLargeFile == 3)
      op.Stop();
    return 0;
  });
  EXPECT_EQ(op.Excute(), 0);
  EXPECT_TRUE(op.IsStop());
  const auto posted = window_.posted();
  ASSERT_GE(posted.size(), 3u);
  EXPECT_EQ(posted[posted.size() - 2], State(kStateCancel, 0));
  EXPECT_EQ(posted.back(), State(kStateCopyFailed, 100));
  EXPECT_EQ(std::count(posted.begin(), posted.end(), State(kStateCancel, 0)), 1);
  EXPECT_TRUE(IsEmptyFolder(F("dst")));
  EXPECT_EQ(Snapshot(E("src")), before);
  EXPECT_TRUE(InOrder(TraceLines(), {"[OnCopyfileCallback::false]!res || (res && !IsFinished() )",
                                     "[CopyOperation:: Excute] BACKUPFAIL"}));
}

TEST_F(CopyOperationTest, StopBetweenTwoFilesSucceedsSilentlyWithAnEmptyTarget) {
  machine_.WriteFile('E', "src/a.bin", Pattern(kMiB, 'a'));
  machine_.WriteFile('E', "src/b.bin", Pattern(kMiB, 'b'));
  CopyOperation op(&window_, kStateCopy, L"E:\\src", L"F:\\dst", 1.0);
  window_.onPost = [&](const Posted& p) {
    if (p.lParam == 50) op.Stop();  // the first of the two files is complete
  };
  EXPECT_EQ(op.Excute(), 1);
  EXPECT_EQ(window_.posted(), (std::vector<Posted>{State(kStateCopy, 0), State(kStateCopy, 50)}));
  EXPECT_TRUE(IsEmptyFolder(F("dst")));
  EXPECT_TRUE(InOrder(TraceLines(), {"[OnCopyfileCallback::false]!IsStop", "[CopyOperation:: Excute] IsStop"}));
}

// Copies onto the stick end with one flush of its volume, after the last
// file; copies into the work folder on the host's disk are never flushed.
TEST_F(CopyOperationTest, OnlyCopiesOntoTheStickFlushItsVolumeOnce) {
  machine_.WriteFile('E', "src/setup.exe", Pattern(kMiB, 'a'));
  machine_.WriteFile('E', "src/sources/boot.wim", Pattern(3 * kMiB, 'b'));
  for (const auto& [state, flushes] : {std::pair{kStateCopyOS, 0}, std::pair{kStateCopy, 1}}) {
    std::vector<platform::copyfault::Event> events;
    platform::copyfault::ScopedHook hook([&](const platform::copyfault::Event& e) {
      events.push_back(e);
      return 0;
    });
    CopyOperation op(&window_, state, L"E:\\src", L"F:\\dst", 1.0);
    EXPECT_EQ(op.Excute(), 1) << state;
    const auto flush = std::find_if(events.begin(), events.end(), [](const auto& e) {
      return e.point == platform::copyfault::Point::kFlushVolume;
    });
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const auto& e) { return e.point == platform::copyfault::Point::kFlushVolume; }),
              flushes)
        << state;
    if (flush == events.end()) continue;
    EXPECT_EQ(flush + 1, events.end()) << "the flush comes after the last file";
    EXPECT_EQ(fs::path(flush->targetHost), F("dst"));
  }
}

// What the machine can do to a copy: each ends the step with state 4, an
// empty target and an untouched source, and no cancel state.
struct MachineFault {
  const char* name;
  std::function<int(const platform::copyfault::Event&, const fs::path& source, const fs::path& target)> hook;
  int state = kStateCopyOS;
};

void PrintTo(const MachineFault& f, std::ostream* os) { *os << f.name; }

class CopyOperationFaultTest : public CopyOperationTest, public ::testing::WithParamInterface<MachineFault> {};

TEST_P(CopyOperationFaultTest, FailsWithCopyFailedAndAnEmptyTarget) {
  machine_.WriteFile('E', "src/setup.exe", Pattern(kMiB, 'a'));
  machine_.WriteFile('E', "src/sources/install.wim", Pattern(9 * kMiB, 'i'));
  machine_.WriteFile('E', "src/sources/boot.wim", Pattern(2 * kMiB, 'b'));
  const fs::path source = E("src"), target = F("dst");
  const bool shrinks = std::string(GetParam().name) == "SourceShrinks";
  const auto before = Snapshot(source);
  platform::copyfault::ScopedHook hook(
      [&](const platform::copyfault::Event& e) { return GetParam().hook(e, source, target); });
  CopyOperation op(&window_, GetParam().state, L"E:\\src", L"F:\\dst", 1.0);
  EXPECT_EQ(op.Excute(), 0);
  const auto posted = window_.posted();
  ASSERT_FALSE(posted.empty());
  EXPECT_EQ(posted.back(), State(kStateCopyFailed, 100));
  EXPECT_EQ(std::count(posted.begin(), posted.end(), State(kStateCancel, 0)), 0);
  EXPECT_TRUE(IsEmptyFolder(target));
  if (!shrinks) {
    EXPECT_EQ(Snapshot(source), before);
  }
  EXPECT_TRUE(InOrder(TraceLines(), {"[OnCopyfileCallback::false]!res || (res && !IsFinished() )",
                                     "[CopyOperation:: Excute] BACKUPFAIL"}));
}

INSTANTIATE_TEST_SUITE_P(
    Machine, CopyOperationFaultTest,
    ::testing::Values(
        MachineFault{"UnreadableSourceFile",
                     [](const platform::copyfault::Event& e, const fs::path&, const fs::path&) {
                       return e.point == platform::copyfault::Point::kOpenSource && e.sourceHost.ends_with("boot.wim")
                                  ? EACCES
                                  : 0;
                     }},
        MachineFault{"ReadErrorInTheMiddleOfAFile",
                     [](const platform::copyfault::Event& e, const fs::path&, const fs::path&) {
                       return e.point == platform::copyfault::Point::kRead && e.sourceHost.ends_with("install.wim") &&
                                      e.index == 2
                                  ? EIO
                                  : 0;
                     }},
        MachineFault{"TargetRunsOutOfSpace",
                     [](const platform::copyfault::Event& e, const fs::path&, const fs::path&) {
                       return e.point == platform::copyfault::Point::kWrite && e.sourceHost.ends_with("install.wim") &&
                                      e.index == 2
                                  ? ENOSPC
                                  : 0;
                     }},
        MachineFault{"SourceShrinks",
                     [](const platform::copyfault::Event& e, const fs::path& source, const fs::path&) {
                       if (e.point == platform::copyfault::Point::kRead && e.sourceHost.ends_with("install.wim") &&
                           e.index == 2)
                         fs::resize_file(source / "sources/install.wim", 5 * kMiB);
                       return 0;
                     }},
        MachineFault{"TargetFolderVanishes",
                     [](const platform::copyfault::Event& e, const fs::path&, const fs::path& target) {
                       if (e.point == platform::copyfault::Point::kOpenSource && e.sourceHost.ends_with("boot.wim"))
                         fs::remove_all(target);
                       return 0;
                     }},
        // Every file was taken, but the stick reports at the end that its
        // data did not reach it.
        MachineFault{"StickLosesWritesBeforeTheFlush",
                     [](const platform::copyfault::Event& e, const fs::path&, const fs::path&) {
                       return e.point == platform::copyfault::Point::kFlushVolume ? EIO : 0;
                     },
                     kStateCopy}),
    [](const ::testing::TestParamInfo<MachineFault>& info) { return std::string(info.param.name); });
