#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "copy/coptfile.h"
#include "copytestkit.h"
#include "platform/text.h"
#include "platform/fs/copyfile.h"

using namespace copytest;
using platform::DWORD;

namespace {

const std::string kCancelTrace = "[OnCopyfileCallback::false]!res || (res && !IsFinished() )";
const std::string kStopTrace = "[OnCopyfileCallback::false]!IsStop";

// A progress routine that forwards to a test's function.
struct Progress {
  std::function<DWORD(std::int64_t total, std::int64_t done, platform::HANDLE target)> fn;
  int calls = 0;

  static DWORD Routine(std::int64_t total, std::int64_t done, std::int64_t, std::int64_t, DWORD, DWORD,
                       platform::HANDLE, platform::HANDLE target, void* data) {
    auto* self = static_cast<Progress*>(data);
    ++self->calls;
    return self->fn ? self->fn(total, done, target) : platform::PROGRESS_CONTINUE;
  }
};

// The host path the copy is writing, from its target handle.
std::string TargetOf(platform::HANDLE handle) {
  std::error_code ec;
  return fs::read_symlink("/proc/self/fd/" + std::to_string(reinterpret_cast<intptr_t>(handle)), ec).string();
}

class COptFileTest : public ::testing::Test {
 protected:
  COptFileTest() : machine_({Drive('E', "cdrom"), Drive('F', "removable")}) { PrepareTraceLog(); }

  // The source tree of most cases: nested folders, a hidden file, an empty
  // file and an empty folder; 3 MiB + 28 bytes in all.
  void WriteTree() {
    machine_.WriteFile('E', "src/setup.exe", Pattern(2 * kMiB, 'a'));
    machine_.WriteFile('E', "src/.hidden", "hidden");
    machine_.WriteFile('E', "src/empty.txt", "");
    machine_.WriteFile('E', "src/sources/boot.wim", Pattern(kMiB, 'k'));
    machine_.WriteFile('E', "src/sources/lang/en-us/readme.txt", "twenty-two bytes here!");
    fs::create_directories(machine_.Root('E') / "src/upgrade");
  }
  static constexpr std::int64_t kTreeBytes = 3 * kMiB + 6 + 22;

  bool Start(Progress& p, const std::wstring& src = L"E:\\src", const std::wstring& dst = L"F:\\dst") {
    COptFile& engine = COptFile::Instance();
    engine.SetPath(src, dst);
    engine.SetWeight(1.0);
    return engine.Start(&Progress::Routine, &p);
  }

  fs::path E(const std::string& rel) const { return machine_.Root('E') / rel; }
  fs::path F(const std::string& rel) const { return machine_.Root('F') / rel; }

  kxtest::TestMachine machine_;
};

}  // namespace

TEST_F(COptFileTest, CopiesTheWholeTreeAndCountsItsBytes) {
  WriteTree();
  Progress p;
  ASSERT_TRUE(Start(p));
  EXPECT_EQ(Snapshot(F("dst")), Snapshot(E("src")));
  EXPECT_EQ(COptFile::Instance().GetTotalFileSize(), kTreeBytes);
  EXPECT_EQ(COptFile::Instance().GetCopiedSize(), kTreeBytes);
  EXPECT_TRUE(InOrder(TraceLines(), {"[CopyOperation:: Srcpath]E:\\src",
                                     "[CopyOperation:: m_TotalFileSize]" + std::to_string(kTreeBytes),
                                     "[COptFile::IsFinished]!true"}));
}

TEST_F(COptFileTest, EmptySourceCreatesTheTargetFolderOnly) {
  fs::create_directories(E("src"));
  Progress p;
  ASSERT_TRUE(Start(p));
  EXPECT_TRUE(IsEmptyFolder(F("dst")));
  EXPECT_EQ(COptFile::Instance().GetTotalFileSize(), 0);
  EXPECT_EQ(p.calls, 0);
}

TEST_F(COptFileTest, ExistingTargetFilesAreOverwrittenReadOnlyOnesToo) {
  WriteTree();
  machine_.WriteFile('E', "src/AUTORUN.INF", "[autorun]\nopen=setup.exe\n");
  machine_.WriteFile('F', "dst/setup.exe", "stale");
  machine_.WriteFile('F', "dst/sources/boot.wim", "stale");
  machine_.WriteFile('F', "dst/autorun.inf", "stale");
  fs::permissions(F("dst/sources/boot.wim"), fs::perms::owner_read);
  Progress p;
  ASSERT_TRUE(Start(p));
  EXPECT_EQ(kxtest::ReadHostFile(F("dst/setup.exe")), kxtest::ReadHostFile(E("src/setup.exe")));
  EXPECT_EQ(kxtest::ReadHostFile(F("dst/sources/boot.wim")), kxtest::ReadHostFile(E("src/sources/boot.wim")));
  // The autorun file replaces the older one, whatever its case, and no
  // temporary file stays behind.
  EXPECT_EQ(kxtest::ReadHostFile(F("dst/autorun.inf")), "[autorun]\nopen=setup.exe\n");
  EXPECT_FALSE(fs::exists(F("dst/autorun.infTOINI")));
  EXPECT_FALSE(fs::exists(F("dst/AUTORUN.INFTOINI")));
}

TEST_F(COptFileTest, AutorunIsWrittenOnlyUnderItsTemporaryNameThenRenamed) {
  const std::string upper = Pattern(5 * kMiB, 'c');  // several progress calls while it is written
  machine_.WriteFile('E', "src/AUTORUN.INF", upper);
  machine_.WriteFile('E', "src/sub/autorun.inf", "lower");
  machine_.WriteFile('E', "src/sub/other.txt", "other");
  std::vector<std::string> written;
  Progress p;
  p.fn = [&](std::int64_t, std::int64_t, platform::HANDLE target) {
    std::string path = TargetOf(target);
    written.push_back(fs::path(path).filename().string());
    if (path.ends_with("TOINI")) {
      // While it is copied the final name does not exist yet.
      EXPECT_FALSE(fs::exists(path.substr(0, path.size() - 5))) << path;
    }
    return platform::PROGRESS_CONTINUE;
  };
  ASSERT_TRUE(Start(p));
  EXPECT_EQ(kxtest::ReadHostFile(F("dst/AUTORUN.INF")), upper);
  EXPECT_EQ(kxtest::ReadHostFile(F("dst/sub/autorun.inf")), "lower");
  EXPECT_FALSE(fs::exists(F("dst/AUTORUN.INFTOINI")));
  EXPECT_FALSE(fs::exists(F("dst/sub/autorun.infTOINI")));
  EXPECT_NE(std::find(written.begin(), written.end(), "AUTORUN.INFTOINI"), written.end());
  EXPECT_NE(std::find(written.begin(), written.end(), "autorun.infTOINI"), written.end());
  EXPECT_EQ(std::find(written.begin(), written.end(), "AUTORUN.INF"), written.end());
  EXPECT_EQ(std::find(written.begin(), written.end(), "autorun.inf"), written.end());
}

TEST_F(COptFileTest, StopBetweenTwoFilesEmptiesTheTargetAndSucceeds) {
  machine_.WriteFile('E', "src/a.bin", Pattern(kMiB, 'a'));
  machine_.WriteFile('E', "src/b.bin", Pattern(kMiB, 'b'));
  const auto before = Snapshot(E("src"));
  Progress p;
  p.fn = [&](std::int64_t total, std::int64_t done, platform::HANDLE) {
    if (done == total) COptFile::Instance().Stop();  // the first file is complete
    return platform::PROGRESS_CONTINUE;
  };
  ASSERT_TRUE(Start(p));
  EXPECT_EQ(p.calls, 2);  // the second file was never started
  EXPECT_TRUE(COptFile::Instance().IsStop());
  EXPECT_TRUE(IsEmptyFolder(F("dst")));
  EXPECT_EQ(Snapshot(E("src")), before);
  EXPECT_TRUE(InOrder(TraceLines(), {"[COptFile::IsFinished]!true", kStopTrace}));
}

TEST_F(COptFileTest, StartClearsAnEarlierStop) {
  machine_.WriteFile('E', "src/a.txt", "a");
  COptFile::Instance().Stop();
  Progress p;
  ASSERT_TRUE(Start(p));
  EXPECT_FALSE(COptFile::Instance().IsStop());
  EXPECT_EQ(kxtest::ReadHostFile(F("dst/a.txt")), "a");
}

TEST_F(COptFileTest, CancelInTheMiddleOfAFileEmptiesTheTargetAndFails) {
  WriteTree();
  machine_.WriteFile('E', "src/sources/install.wim", Pattern(12 * kMiB, 'i'));
  const auto before = Snapshot(E("src"));
  Progress p;
  p.fn = [&](std::int64_t total, std::int64_t done, platform::HANDLE) {
    return total == static_cast<std::int64_t>(12 * kMiB) && done > 0 ? platform::PROGRESS_CANCEL
                                                                     : platform::PROGRESS_CONTINUE;
  };
  EXPECT_FALSE(Start(p));
  EXPECT_TRUE(IsEmptyFolder(F("dst")));
  EXPECT_EQ(Snapshot(E("src")), before);
  EXPECT_TRUE(InOrder(TraceLines(), {kCancelTrace}));
}

// Failures that the machine causes: each ends with false, an empty target and
// an untouched source.
struct Fault {
  const char* name;
  std::function<int(const platform::copyfault::Event&, const fs::path& target)> hook;
};

void PrintTo(const Fault& f, std::ostream* os) { *os << f.name; }

class COptFileFaultTest : public COptFileTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(COptFileFaultTest, LeavesAnEmptyTargetAndAnUntouchedSource) {
  WriteTree();
  const auto before = Snapshot(E("src"));
  const fs::path target = F("dst");
  platform::copyfault::ScopedHook hook([&](const platform::copyfault::Event& e) { return GetParam().hook(e, target); });
  Progress p;
  EXPECT_FALSE(Start(p));
  EXPECT_TRUE(IsEmptyFolder(target));
  EXPECT_EQ(Snapshot(E("src")), before);
  EXPECT_TRUE(InOrder(TraceLines(), {kCancelTrace}));
}

INSTANTIATE_TEST_SUITE_P(
    Machine, COptFileFaultTest,
    ::testing::Values(
        Fault{"UnreadableSourceFile",
              [](const platform::copyfault::Event& e, const fs::path&) {
                return e.point == platform::copyfault::Point::kOpenSource && e.sourceHost.ends_with("boot.wim")
                           ? EACCES
                           : 0;
              }},
        Fault{"DiskFullInTheMiddleOfAFile",
              [](const platform::copyfault::Event& e, const fs::path&) {
                return e.point == platform::copyfault::Point::kWrite && e.sourceHost.ends_with("setup.exe")
                           ? ENOSPC
                           : 0;
              }},
        Fault{"TargetFolderVanishes",
              [](const platform::copyfault::Event& e, const fs::path& target) {
                static int opened = 0;
                if (e.point == platform::copyfault::Point::kOpenSource && ++opened == 2) fs::remove_all(target);
                return 0;
              }}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

TEST_F(COptFileTest, SourceThatShrankWhileCopiedFailsTheCompletenessTest) {
  WriteTree();
  Progress p;
  p.fn = [&](std::int64_t total, std::int64_t done, platform::HANDLE) {
    // setup.exe is read completely, then loses half of its bytes.
    if (total == static_cast<std::int64_t>(2 * kMiB) && done == total) fs::resize_file(E("src/setup.exe"), kMiB);
    return platform::PROGRESS_CONTINUE;
  };
  EXPECT_FALSE(Start(p));
  EXPECT_TRUE(IsEmptyFolder(F("dst")));
  EXPECT_TRUE(InOrder(TraceLines(), {"[COptFile::IsFinished]!false", kCancelTrace}));
}

TEST_F(COptFileTest, FailureOnADriveRootEmptiesTheDriveAndKeepsItsRoot) {
  WriteTree();
  machine_.WriteFile('F', "efi/boot/bootx64.efi", "efi");
  machine_.WriteFile('F', "old.txt", "old");
  fs::permissions(F("old.txt"), fs::perms::owner_read);
  Progress p;
  p.fn = [](std::int64_t, std::int64_t done, platform::HANDLE) {
    return done > 0 ? platform::PROGRESS_CANCEL : platform::PROGRESS_CONTINUE;
  };
  EXPECT_FALSE(Start(p, L"E:\\src", L"F:\\"));
  EXPECT_TRUE(IsEmptyFolder(machine_.Root('F')));
}

TEST_F(COptFileTest, SingleFileIsCopiedIntoTheTargetFolderByName) {
  machine_.WriteFile('E', "src/sources/boot.wim", Pattern(kMiB, 'w'));
  Progress p;
  ASSERT_TRUE(Start(p, L"E:\\src\\sources\\boot.wim", L"F:\\dst\\"));
  EXPECT_EQ(kxtest::ReadHostFile(F("dst/boot.wim")), kxtest::ReadHostFile(E("src/sources/boot.wim")));
  EXPECT_EQ(COptFile::Instance().GetTotalFileSize(), static_cast<std::int64_t>(kMiB));
  EXPECT_EQ(COptFile::Instance().GetCopiedSize(), 0);
  const auto lines = TraceLines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("[COptFile"); }),
            0);
}

// After a failure on the stick, its root is emptied and kept whatever the
// spelling of the target: no spelling takes the drive's folder away.
TEST_F(COptFileTest, FailureOnAnySpellingOfADriveRootEmptiesTheDriveAndKeepsItsRoot) {
  WriteTree();
  for (const wchar_t* root : {L"F:\\.", L"\\\\?\\F:\\", L"F:\\x\\..", L"f:"}) {
    machine_.WriteFile('F', "efi/boot/bootx64.efi", "efi");
    Progress p;
    p.fn = [](std::int64_t, std::int64_t done, platform::HANDLE) {
      return done > 0 ? platform::PROGRESS_CANCEL : platform::PROGRESS_CONTINUE;
    };
    EXPECT_FALSE(Start(p, L"E:\\src", root)) << platform::AnsiFromWide(root);
    EXPECT_TRUE(IsEmptyFolder(machine_.Root('F'))) << platform::AnsiFromWide(root);
  }
}

// A link in the source is copied as a link (a loop back into the tree
// cannot make the copy endless or count the tree again); a link in the
// target is replaced, never written through to what it points to.
TEST_F(COptFileTest, LinksAreCopiedAsLinksAndNeverWrittenThrough) {
  WriteTree();
  fs::create_directory_symlink(E("src"), E("src/sources/loop"));
  machine_.WriteFile('C', "outside.txt", "outside");
  fs::create_directories(F("dst"));
  fs::create_symlink(machine_.Root('C') / "outside.txt", F("dst/setup.exe"));
  Progress p;
  ASSERT_TRUE(Start(p));
  EXPECT_EQ(COptFile::Instance().GetTotalFileSize(), kTreeBytes);
  EXPECT_TRUE(fs::is_symlink(F("dst/sources/loop")));
  EXPECT_FALSE(fs::is_symlink(F("dst/setup.exe")));
  EXPECT_EQ(fs::file_size(F("dst/setup.exe")), 2 * kMiB);
  EXPECT_EQ(kxtest::ReadHostFile(machine_.Root('C') / "outside.txt"), "outside");
}

// A medium made to hand us a host file: its links that lead out of the
// source tree (to a root-only file, to a folder, nowhere) are not copied;
// each leaves a trace line. A link inside the tree still is.
TEST_F(COptFileTest, LinksThatLeadOutOfTheSourceAreSkippedWithATraceLine) {
  WriteTree();
  machine_.WriteFile('C', "secret/shadow", "root:secret");
  ::chmod((machine_.Root('C') / "secret/shadow").c_str(), 0600);
  const struct {
    const char* name;
    fs::path target;
  } outside[] = {
      {"src/shadow", machine_.Root('C') / "secret/shadow"},
      {"src/sources/etc", machine_.Root('C') / "secret"},
      {"src/dangling", E("src/absent")},
      {"src/sources/up", E("src/../outside-the-tree")},
  };
  for (const auto& link : outside) fs::create_symlink(link.target, E(link.name));
  fs::create_symlink(E("src/setup.exe"), E("src/sources/inside.exe"));
  Progress p;
  ASSERT_TRUE(Start(p));
  for (const auto& link : outside) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(F(std::string("dst") + (link.name + 3))))) << link.name;
    const std::string from = "E:\\" + std::string(link.name);
    std::string windows = from;
    for (char& c : windows)
      if (c == '/') c = '\\';
    EXPECT_TRUE(InOrder(TraceLines(), {"[COptFile::CopyTree] link skipped, it leads outside the source: " + windows}))
        << link.name;
  }
  EXPECT_TRUE(fs::exists(fs::symlink_status(F("dst/sources/inside.exe"))));
}
