// A file over 4 GiB (install.wim of some discs) is stored in several
// ISO 9660 extents and reads back whole, through ISO 9660 (xorriso) and
// through the UDF bridge (7-Zip), which shares the same data. The source is sparse, with marks
// at its start, around the first extent boundary and at its end, so a
// misplaced or missing extent shows.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <regex>

#include "testmachine.h"
#include "toolrun.h"

namespace fs = std::filesystem;
using namespace oscdimgtest;

namespace {

constexpr std::uint64_t kSize = (4ull << 30) + (5ull << 20) + 123;
constexpr std::uint64_t kFirstExtent = 0xFFFFF800ull;  // the largest block-aligned extent

void Mark(int fd, std::uint64_t offset, const std::string& text) {
  ASSERT_EQ(pwrite(fd, text.data(), text.size(), static_cast<off_t>(offset)), static_cast<ssize_t>(text.size()));
}

TEST(OscdimgLargeFile, OverFourGiBIsStoredInSeveralExtentsAndReadsBackWhole) {
  kxtest::TempDir dir;
  const fs::path src = dir.path() / "src", wim = src / "sources/install.wim", iso = dir.path() / "big.iso";
  fs::create_directories(wim.parent_path());
  const int fd = open(wim.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(kSize)), 0);
  Mark(fd, 0, "MSWIM start");
  Mark(fd, kFirstExtent - 6, "before|after");
  Mark(fd, kSize - 4, "end!");
  close(fd);

  const Result made = Shell(Quote(ToolPath()) + " -lBIG -m -o -u1 -udfver102 " + Quote(src.string()) + " " + Quote(iso.string()));
  ASSERT_EQ(made.exitCode, 0) << made.err;

  const Result lba = Shell("xorriso -indev " + Quote(iso.string()) + " -find /sources/install.wim -exec report_lba --");
  ASSERT_EQ(lba.exitCode, 0) << lba.err;
  const std::regex extent(R"(File data lba:\s+(\d+)\s*,)");
  int extents = 0;
  for (auto it = std::sregex_iterator(lba.out.begin(), lba.out.end(), extent); it != std::sregex_iterator(); ++it)
    ++extents;
  EXPECT_GE(extents, 2) << lba.out;

  const fs::path back = dir.path() / "back.wim";
  const Result x = Shell("xorriso -osirrox on:sparse=1m -indev " + Quote(iso.string()) +
                       " -extract /sources/install.wim " + Quote(back.string()));
  ASSERT_EQ(x.exitCode, 0) << x.err;
  EXPECT_EQ(fs::file_size(back), kSize);
  EXPECT_EQ(Shell("cmp " + Quote(wim.string()) + " " + Quote(back.string())).exitCode, 0);
  fs::remove(back);

  const Result udf = Shell("7zz e -tudf -so " + Quote(iso.string()) + " sources/install.wim | cmp - " + Quote(wim.string()));
  EXPECT_EQ(udf.exitCode, 0) << udf.out << udf.err;
}

}  // namespace
