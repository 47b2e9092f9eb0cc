#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/fs/copyfile.h"
#include "platform/fs/files.h"
#include "platform/lasterror.h"
#include "testmachine.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

kxtest::DriveSpec Drive(char letter) {
  kxtest::DriveSpec d;
  d.letter = letter;
  return d;
}

std::string Pattern(std::uint64_t bytes) {
  std::string s(bytes, '\0');
  for (std::uint64_t i = 0; i < bytes; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 4093) % 26);
  return s;
}

struct Call {
  std::int64_t total, done, streamSize, streamDone;
  DWORD stream, reason;
  bool handles;
  void* data;
};

// Records every call; answers `answer` from call number `answerAt` (1-based) on.
struct Recorder {
  std::vector<Call> calls;
  DWORD answer = PROGRESS_CONTINUE;
  size_t answerAt = 0;
  std::function<void()> onCall;

  static DWORD Routine(std::int64_t total, std::int64_t done, std::int64_t streamSize, std::int64_t streamDone,
                       DWORD stream, DWORD reason, HANDLE src, HANDLE dst, void* data) {
    auto* self = static_cast<Recorder*>(data);
    self->calls.push_back({total, done, streamSize, streamDone, stream, reason, src != nullptr && dst != nullptr, data});
    if (self->onCall) self->onCall();
    return self->answerAt && self->calls.size() >= self->answerAt ? self->answer : PROGRESS_CONTINUE;
  }
};

bool Copy(const std::wstring& from, const std::wstring& to, Recorder* rec = nullptr, DWORD flags = 0) {
  bool cancel = false;
  return CopyFileEx(from, to, rec ? &Recorder::Routine : nullptr, rec, &cancel, flags);
}

// A small tmpfs mounted over a folder for the lifetime of the object, where
// the machine allows mounts; unmounted before the folder goes.
class ScopedTmpfs {
 public:
  ScopedTmpfs(const fs::path& where, const std::string& size) : where_(where) {
    mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~ScopedTmpfs() {
    if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  fs::path where_;
  bool mounted_ = false;
};

}  // namespace

TEST(CopyFileEx, ReportsBeforeTheFirstByteAndAfterEveryChunkOfALargeFile) {
  kxtest::TestMachine m({Drive('E')});
  const std::string content = Pattern(10 * kMiB + 123);
  m.WriteFile('E', "big.bin", content);
  Recorder rec;
  ASSERT_TRUE(Copy(L"E:\\big.bin", L"E:\\copy.bin", &rec));
  EXPECT_EQ(kxtest::ReadHostFile(m.Root('E') / "copy.bin"), content);

  const std::int64_t size = static_cast<std::int64_t>(content.size());
  const std::int64_t chunk = static_cast<std::int64_t>(kCopyChunkBytes);
  ASSERT_EQ(rec.calls.size(), 4u);
  EXPECT_EQ(rec.calls[0].reason, CALLBACK_STREAM_SWITCH);
  EXPECT_EQ(rec.calls[0].done, 0);
  std::vector<std::int64_t> done;
  for (const auto& c : rec.calls) {
    EXPECT_EQ(c.total, size);
    EXPECT_EQ(c.streamSize, size);
    EXPECT_EQ(c.streamDone, c.done);
    EXPECT_EQ(c.stream, 1u);
    EXPECT_TRUE(c.handles);
    EXPECT_EQ(c.data, &rec);
    done.push_back(c.done);
  }
  EXPECT_EQ(done, (std::vector<std::int64_t>{0, chunk, 2 * chunk, size}));
  for (size_t i = 1; i < rec.calls.size(); ++i) EXPECT_EQ(rec.calls[i].reason, CALLBACK_CHUNK_FINISHED);
}

TEST(CopyFileEx, EmptyFileGetsOneCallAndAnEmptyTarget) {
  kxtest::TestMachine m({Drive('E')});
  m.WriteFile('E', "empty", "");
  Recorder rec;
  ASSERT_TRUE(Copy(L"E:\\empty", L"E:\\copy", &rec));
  ASSERT_EQ(rec.calls.size(), 1u);
  EXPECT_EQ(rec.calls[0].total, 0);
  EXPECT_TRUE(fs::exists(m.Root('E') / "copy"));
  EXPECT_EQ(fs::file_size(m.Root('E') / "copy"), 0u);
}

TEST(CopyFileEx, CancelFailsWithRequestAbortedAndRemovesThePartialTarget) {
  kxtest::TestMachine m({Drive('E')});
  m.WriteFile('E', "big.bin", Pattern(9 * kMiB));
  for (DWORD answer : {PROGRESS_CANCEL, PROGRESS_STOP}) {
    for (size_t at : {1u, 2u}) {  // before the first byte, after the first chunk
      Recorder rec;
      rec.answer = answer;
      rec.answerAt = at;
      SetLastError(0);
      EXPECT_FALSE(Copy(L"E:\\big.bin", L"E:\\copy.bin", &rec));
      EXPECT_EQ(GetLastError(), ERROR_REQUEST_ABORTED);
      EXPECT_EQ(rec.calls.size(), at);
      EXPECT_FALSE(fs::exists(m.Root('E') / "copy.bin"));
    }
  }
  // The caller's cancel flag works the same way.
  bool cancel = true;
  EXPECT_FALSE(CopyFileEx(L"E:\\big.bin", L"E:\\copy.bin", nullptr, nullptr, &cancel, 0));
  EXPECT_EQ(GetLastError(), ERROR_REQUEST_ABORTED);
  EXPECT_FALSE(fs::exists(m.Root('E') / "copy.bin"));
}

TEST(CopyFileEx, OverwritesReadOnlyTargetsAndKeepsTheFileTimes) {
  kxtest::TestMachine m({Drive('E')});
  m.WriteFile('E', "src.txt", "new content");
  m.WriteFile('E', "dst.txt", "an older and longer content");
  fs::permissions(m.Root('E') / "dst.txt", fs::perms::owner_read | fs::perms::group_read);
  const auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(m.Root('E') / "src.txt", stamp);

  ASSERT_TRUE(Copy(L"E:\\src.txt", L"E:\\dst.txt"));
  EXPECT_EQ(kxtest::ReadHostFile(m.Root('E') / "dst.txt"), "new content");
  EXPECT_EQ(fs::last_write_time(m.Root('E') / "dst.txt"), stamp);

  EXPECT_FALSE(Copy(L"E:\\src.txt", L"E:\\dst.txt", nullptr, COPY_FILE_FAIL_IF_EXISTS));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
}

TEST(CopyFileEx, FailuresComeBackAsErrorNumbers) {
  kxtest::TestMachine m({Drive('E')});
  m.WriteFile('E', "src.txt", "x");
  fs::create_directories(m.Root('E') / "folder");
  EXPECT_FALSE(Copy(L"E:\\missing.txt", L"E:\\dst.txt"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(Copy(L"E:\\src.txt", L"E:\\no\\such\\folder\\dst.txt"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(Copy(L"E:\\folder", L"E:\\dst.txt"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Copy(L"E:\\src.txt", L"E:\\folder"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Copy(L"E:\\src.txt", L"Q:\\dst.txt"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  // A pipe or a device on a medium is no file: refused at once, where a
  // blocking open would wait for a writer forever and a device never ends.
  ASSERT_EQ(::mkfifo((m.Root('E') / "pipe").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", m.Root('E') / "zero");
  for (const wchar_t* source : {L"E:\\pipe", L"E:\\zero"}) {
    EXPECT_FALSE(Copy(source, L"E:\\dst.bin"));
    EXPECT_EQ(GetLastError(), ERROR_BAD_FILE_TYPE);
    EXPECT_FALSE(fs::exists(m.Root('E') / "dst.bin"));
  }
  std::uint64_t size = 1;
  EXPECT_TRUE(GetFileSize(L"E:\\pipe", size));
  EXPECT_EQ(size, 0u);
}

TEST(CopyFileEx, InjectedFaultsFailTheCopyAndLeaveNoTarget) {
  kxtest::TestMachine m({Drive('E')});
  m.WriteFile('E', "big.bin", Pattern(9 * kMiB));
  struct Case {
    copyfault::Point point;
    std::uint64_t index;
    int err;
    DWORD expected;
  };
  const Case cases[] = {
      {copyfault::Point::kWrite, 2, ENOSPC, ERROR_DISK_FULL},
      {copyfault::Point::kWrite, 1, EDQUOT, ERROR_DISK_FULL},
      {copyfault::Point::kOpenSource, 1, EACCES, ERROR_ACCESS_DENIED},
      {copyfault::Point::kRead, 3, EACCES, ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    int seen = 0;
    copyfault::ScopedHook hook([&](const copyfault::Event& e) {
      if (e.point != c.point || e.index != c.index) return 0;
      ++seen;
      EXPECT_EQ(e.sourceHost, (m.Root('E') / "big.bin").string());
      return c.err;
    });
    Recorder rec;
    EXPECT_FALSE(Copy(L"E:\\big.bin", L"E:\\copy.bin", &rec));
    EXPECT_EQ(GetLastError(), c.expected);
    EXPECT_EQ(seen, 1);
    EXPECT_FALSE(fs::exists(m.Root('E') / "copy.bin"));
    EXPECT_EQ(fs::file_size(m.Root('E') / "big.bin"), 9 * kMiB);
  }
}

TEST(CopyFileEx, ASourceThatShrinksWhileCopiedFails) {
  kxtest::TestMachine m({Drive('E')});
  m.WriteFile('E', "big.bin", Pattern(9 * kMiB));
  Recorder rec;
  rec.onCall = [&] {
    if (rec.calls.size() == 2) fs::resize_file(m.Root('E') / "big.bin", 5 * kMiB);
  };
  EXPECT_FALSE(Copy(L"E:\\big.bin", L"E:\\copy.bin", &rec));
  EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);
  EXPECT_FALSE(fs::exists(m.Root('E') / "copy.bin"));
}

TEST(CopyFileEx, ASourceThatGrowsWhileCopiedIsCopiedToItsNewEnd) {
  kxtest::TestMachine m({Drive('E')});
  m.WriteFile('E', "log.bin", Pattern(5 * kMiB));
  Recorder rec;
  rec.onCall = [&] {
    if (rec.calls.size() == 2) std::ofstream(m.Root('E') / "log.bin", std::ios::app) << "tail";
  };
  ASSERT_TRUE(Copy(L"E:\\log.bin", L"E:\\copy.bin", &rec));
  EXPECT_EQ(fs::file_size(m.Root('E') / "copy.bin"), 5 * kMiB + 4);
  for (const auto& c : rec.calls) EXPECT_LE(c.done, c.total);
}

// A real full disk, on a small tmpfs: also copies across file systems, where
// the kernel's copy call gives way to reading and writing.
TEST(CopyFileEx, RealDiskFullAcrossFileSystemsFailsWith112) {
  kxtest::TestMachine m({Drive('E'), Drive('F')});
  ScopedTmpfs small(m.Root('F'), "8m");
  if (!small.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  const std::string fits = Pattern(5 * kMiB + 17);
  m.WriteFile('E', "fits.bin", fits);
  m.WriteFile('E', "big.bin", Pattern(12 * kMiB));
  Recorder rec;
  ASSERT_TRUE(Copy(L"E:\\fits.bin", L"F:\\fits.bin", &rec));
  EXPECT_EQ(kxtest::ReadHostFile(m.Root('F') / "fits.bin"), fits);
  EXPECT_EQ(rec.calls.size(), 3u);

  EXPECT_FALSE(Copy(L"E:\\big.bin", L"F:\\big.bin"));
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
  EXPECT_FALSE(fs::exists(m.Root('F') / "big.bin"));
}

// A volume whose medium fails its writes: ext4 on a loop device over a
// sparse image on a tmpfs too small for what is written. The writes land in
// the page cache; the one flush after them must report the loss, also when
// the kernel wrote them back (and lost them) before that flush: a watch made
// before the writes still sees it, where a flush that opens the volume only
// at the end would not.
TEST(FlushVolume, ReportsWritesTheMediumLost) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root (tmpfs, loop devices)";
  kxtest::TestMachine m({Drive('E'), Drive('F')});
  const fs::path holder = m.Root('E') / "holder";
  fs::create_directories(holder);
  ScopedTmpfs small(holder, "12m");
  if (!small.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  const std::string image = (holder / "stick.img").string(), volume = m.Root('F').string();
  ASSERT_EQ(std::system(("truncate -s 64M " + image + " && mkfs.ext4 -q -E nodiscard " + image).c_str()), 0);
  const std::string loop = [&] {
    std::string out;
    if (FILE* p = ::popen(("losetup --find --show " + image).c_str(), "r")) {
      char line[64] = {};
      if (std::fgets(line, sizeof line, p)) out = line;
      ::pclose(p);
    }
    return out.substr(0, out.find('\n'));
  }();
  ASSERT_FALSE(loop.empty());
  struct Detach {
    std::string loop, volume;
    ~Detach() { static_cast<void>(std::system(("umount -l " + volume + "; losetup -d " + loop).c_str())); }
  } detach{loop, volume};
  ASSERT_EQ(std::system(("mount -o errors=continue " + loop + " " + volume).c_str()), 0);

  std::ofstream(m.Root('F') / "fits.bin") << Pattern(kMiB);
  EXPECT_TRUE(FlushVolume(L"F:\\"));
  VolumeWriteWatch watch(L"F:\\not-yet\\made");
  // Random bytes, so the tmpfs cannot hold them in fewer pages; written
  // back by another flush before the watch's own.
  ASSERT_EQ(std::system(("head -c 24M /dev/urandom > " + volume + "/lost.bin; sync -f " + volume + " 2>/dev/null; true").c_str()), 0);
  EXPECT_FALSE(watch.Flush());
  // The loop device passes on what its backing file said: EIO, or ENOSPC.
  EXPECT_TRUE(GetLastError() == ERROR_WRITE_FAULT || GetLastError() == ERROR_DISK_FULL) << GetLastError();
}
