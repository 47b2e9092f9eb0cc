// Failures the tool notices itself: a message, a non-zero exit and no image
// file left behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "testmachine.h"
#include "tools/oscdimg/sourcetree.h"
#include "tools/oscdimg/targetplace.h"
#include "toolrun.h"

namespace fs = std::filesystem;
using namespace oscdimgtest;

namespace {

struct Failure {
  const char* name;
  // Placeholders: SRC the source folder, OUT the target file, BIOS the BIOS boot file.
  std::string line;
  std::string prefix;  // run in front of the tool (a resource limit)
  int exitCode;
  const char* message;
};

void PrintTo(const Failure& f, std::ostream* os) { *os << f.name; }

class OscdimgFails : public testing::TestWithParam<Failure> {};

std::string Expand(std::string text, const std::map<std::string, std::string>& values) {
  for (const auto& [key, value] : values)
    for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
  return text;
}

TEST_P(OscdimgFails, WithAMessageAndNoImageLeft) {
  kxtest::TempDir dir;
  const fs::path src = dir.path() / "src", out = dir.path() / "out.iso";
  // Large enough that a write limit strikes in the middle of the file data.
  WriteAll(src / "sources/install.wim", std::string(3 * 1024 * 1024, 'w'));
  WriteAll(src / "bootmgr", "bootmgr");
  const std::string line = Expand(GetParam().line, {{"SRC", Quote(src.string())},
                                                    {"OUT", Quote(out.string())},
                                                    {"BIOS", BootFile("etfsboot.com")},
                                                    {"DIR", dir.str()}});
  const Result r = Shell(GetParam().prefix + " " + Quote(ToolPath()) + " " + line);
  EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err;
  EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OscdimgFails,
    testing::Values(
        Failure{"UnknownOption", "-lWIN7 -q SRC OUT", "", 2, "unknown option -q"},
        Failure{"MissingBootFile", "-lWIN7 -bootdata:1#p0,e,bDIR/none/etfsboot.com SRC OUT", "", 1,
                "boot file"},
        Failure{"MissingSource", "-lWIN7 DIR/nothing OUT", "", 1, "does not exist"},
        Failure{"TargetFolderMissing", "-lWIN7 SRC DIR/no/such/folder/out.iso", "", 1, "cannot create"},
        Failure{"WriteFailsMidway", "-lWIN7 -bootdata:1#p0,e,bBIOS SRC OUT", "prlimit --fsize=1048576", 1,
                "cannot write"},
        // The boot-information table takes bytes 8 to 63 of the BIOS image.
        Failure{"BiosBootFileUnder64Bytes", "-lWIN7 -bootdata:1#p0,e,bSRC/bootmgr SRC OUT", "", 1,
                "holds 7 bytes"},
        Failure{"TargetInsideTheSource", "-lWIN7 SRC SRC/sources/out.iso", "", 1, "inside the source folder"}),
    [](const testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// What the target may be: never a file that exists (not even a source file),
// never through a link; the file that was there is left as it was.
struct TargetCase {
  const char* name;
  const char* target;  // relative to the test folder
  const char* message;
};

void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }

class OscdimgTarget : public testing::TestWithParam<TargetCase> {};

TEST_P(OscdimgTarget, IsRefusedAndNothingIsChanged) {
  kxtest::TempDir dir;
  const fs::path src = dir.path() / "src";
  WriteAll(src / "sources/install.wim", std::string(300000, 'w'));
  WriteAll(dir.path() / "elsewhere.txt", "keep me");
  WriteAll(dir.path() / "exists.iso", "an older image");
  fs::create_symlink(dir.path() / "elsewhere.txt", dir.path() / "link.iso");
  fs::create_symlink(src / "sources/install.wim", dir.path() / "wimlink.iso");
  const auto before = Snapshot(dir.path());
  const Result r = Shell(Quote(ToolPath()) + " -lWIN7 " + Quote(src.string()) + " " +
                         Quote((dir.path() / GetParam().target).string()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
  EXPECT_EQ(Snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OscdimgTarget,
    testing::Values(TargetCase{"ASourceFile", "src/sources/install.wim", "inside the source folder"},
                    TargetCase{"ASourceFileByALink", "wimlink.iso", "inside the source folder"},
                    TargetCase{"TheSourceFolderByDotDot", "src/sources/../x.iso", "inside the source folder"},
                    TargetCase{"AFileThatExists", "exists.iso", "exists already"},
                    TargetCase{"ALinkToAnotherFile", "link.iso", "exists already"}),
    [](const testing::TestParamInfo<TargetCase>& info) { return std::string(info.param.name); });

TEST(OscdimgSource, LinksThatLeadNowhereOrOutOfTheSourceAreSkippedWithAWarning) {
  kxtest::TempDir dir;
  const fs::path src = dir.path() / "src", out = dir.path() / "out.iso";
  WriteAll(src / "setup.exe", "setup");
  WriteAll(dir.path() / "secret.txt", "host file");
  fs::create_symlink(dir.path() / "secret.txt", src / "outside.txt");
  fs::create_symlink("nowhere", src / "dangling.txt");
  fs::create_symlink("setup.exe", src / "inside.exe");
  const Result r = Shell(Quote(ToolPath()) + " -lWIN7 " + Quote(src.string()) + " " + Quote(out.string()));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const char* name : {"outside.txt", "dangling.txt"})
    EXPECT_NE(r.err.find("skipping " + (src / name).string()), std::string::npos) << r.err;
  const Result x = Shell("7zz x -y -o" + Quote((dir.path() / "x").string()) + " " + Quote(out.string()));
  ASSERT_EQ(x.exitCode, 0) << x.out;
  EXPECT_EQ(ReadAll(dir.path() / "x/inside.exe"), "setup");
  EXPECT_FALSE(fs::exists(dir.path() / "x/outside.txt"));
  EXPECT_FALSE(fs::exists(dir.path() / "x/dangling.txt"));
}

TEST(OscdimgSource, AFileThatShrankOrWasRewrittenSinceItWasReadIsNamed) {
  kxtest::TempDir dir;
  WriteAll(dir.path() / "src/sources/install.wim", std::string(100000, 'w'));
  WriteAll(dir.path() / "src/bootmgr", "bootmgr");
  oscdimg::SourceTree tree;
  std::string error;
  ASSERT_TRUE(oscdimg::ReadSourceTree((dir.path() / "src").string(), &tree, &error)) << error;
  EXPECT_TRUE(oscdimg::SourceFilesUnchanged(tree, &error)) << error;
  fs::resize_file(dir.path() / "src/sources/install.wim", 50000);
  EXPECT_FALSE(oscdimg::SourceFilesUnchanged(tree, &error));
  EXPECT_NE(error.find("install.wim changed while the image was made"), std::string::npos) << error;
  // The same size again, written anew: still not the file that was read.
  fs::resize_file(dir.path() / "src/sources/install.wim", 100000);
  const timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
  ::utimensat(AT_FDCWD, (dir.path() / "src/sources/install.wim").c_str(), times, 0);
  EXPECT_FALSE(oscdimg::SourceFilesUnchanged(tree, &error));
}

TEST(OscdimgUdf, ANameThatIsNotUtf8IsNamedAsSuch) {
  kxtest::TempDir dir;
  WriteAll(dir.path() / "src" / "latin\xE9.txt", "x");
  const Result r = Shell(Quote(ToolPath()) + " -lWIN7 -u1 " + Quote((dir.path() / "src").string()) + " " +
                         Quote((dir.path() / "out.iso").string()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("not UTF-8"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("at most 254"), std::string::npos) << r.err;
}

TEST(OscdimgFullDisk, IsRefusedBeforeWritingAndLeavesNoImage) {
  kxtest::TempDir dir;
  const fs::path src = dir.path() / "src", small = dir.path() / "small";
  WriteAll(src / "sources/install.wim", std::string(3 * 1024 * 1024, 'w'));
  fs::create_directories(small);
  // A 1 MiB volume of its own, in a mount namespace of the test's own.
  const Result r = Shell("unshare -m sh -c " +
                         Quote("mount -t tmpfs -o size=1m none " + Quote(small.string()) + " || exit 99; " +
                               Quote(ToolPath()) + " -lWIN7 -u1 " + Quote(src.string()) + " " +
                               Quote((small / "out.iso").string()) + "; echo \"exit=$?\"; ls -A " +
                               Quote(small.string())));
  if (r.exitCode == 99) GTEST_SKIP() << "no private mounts here: " << r.err;
  EXPECT_EQ(r.out, "exit=1\n") << r.out;
  EXPECT_NE(r.err.find("not enough room"), std::string::npos) << r.err;
}

TEST(OscdimgUdf, NamesOfOneFileShareItsDataOnBothSidesWithoutDashO) {
  kxtest::TempDir dir;
  const fs::path src = dir.path() / "src", out = dir.path() / "out.iso";
  WriteAll(src / "sources/real.wim", std::string(5000, 'r'));
  fs::create_hard_link(src / "sources/real.wim", src / "hard.wim");
  fs::create_symlink("sources/real.wim", src / "soft.wim");
  const Result r = Shell(Quote(ToolPath()) + " -lWIN7 -u1 -udfver102 " + Quote(src.string()) + " " + Quote(out.string()));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Result x = Shell("7zz x -tudf -y -o" + Quote((dir.path() / "x").string()) + " " + Quote(out.string()));
  ASSERT_EQ(x.exitCode, 0) << x.out;
  for (const char* name : {"sources/real.wim", "hard.wim", "soft.wim"})
    EXPECT_EQ(ReadAll(dir.path() / "x" / name), std::string(5000, 'r')) << name;
}

TEST(OscdimgUdf, ANameTheUdfSideCannotHoldFailsTheImage) {
  kxtest::TempDir dir;
  // 128 characters, one of them beyond 8 bits, so all take 16: one more
  // than a UDF identifier holds (and still a valid host name).
  const std::string name = std::string(127, 'n') + "\xD0\x96";
  WriteAll(dir.path() / "src" / name, "x");
  const fs::path out = dir.path() / "out.iso";
  const Result r = Shell(Quote(ToolPath()) + " -lWIN7 -u1 -udfver102 " + Quote((dir.path() / "src").string()) + " " +
                         Quote(out.string()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("UDF cannot hold the name"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out));
}

}  // namespace
