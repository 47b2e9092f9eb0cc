// The image our tool makes of a sample medium, read by peers: xorriso and
// isoinfo for the ISO 9660 side (El Torito entries, files, extents), udfinfo
// and 7-Zip for the UDF side, QEMU (through scripts/boot-check) for the
// boots into the medium's stand-ins. The tool
// runs as the system runs it: its command line with drive-letter paths on a
// machine of the test's own.
#include <gtest/gtest.h>

#include <regex>

#include "testmachine.h"
#include "toolrun.h"

namespace fs = std::filesystem;
using namespace oscdimgtest;

namespace {

const char* const kBiosLine = "KX stand-in bootmgr reached (BIOS)";
const char* const kUefiLine = "KX stand-in bootmgr.efi reached (UEFI)";
const std::string kShared(100 * 1024, 'S');

class SampleImage : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    machine_ = new kxtest::TestMachine({{'D', "fixed"}, {'E', "fixed"}});
    const fs::path work = machine_->Root('D') / "OvantaToolTmp0";
    const Result made = Shell("KX_STANDINS_DIR=" + Quote(StandinsDir()) + " " + SourceDir() +
                            "/scripts/make-sample-medium " + Quote(work.string()));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    // What a work folder may hold beyond a DVD: copies of one file, a file
    // of the same size but other content, empty files and folders, deep
    // folders, names that need Joliet's Unicode.
    WriteAll(work / "OS/AutoUnattend/Intel/a.sys", kShared);
    WriteAll(work / "Other/x64/Tools/copy of a.sys", kShared);
    WriteAll(work / "Other/x64/Tools/other.sys", std::string(kShared.size(), 'T'));
    WriteAll(work / "Other/empty.txt", "");
    fs::create_directories(work / "Other/x64/Empty Folder");
    WriteAll(work / "a/b/c/d/e/f/g/h/i/j/deep.txt", "ten folders down");
    WriteAll(work / "Other/Pr\xC3\xBC" "fung \xE6\x97\xA5\xE6\x9C\xAC.txt", "unicode");
    WriteAll(work / (std::string(90, 'n') + ".inf"), "a long name");
    fs::create_directories(machine_->Root('E') / "Out");
    run_ = new Result(RunTool("-lWIN7 -m -o -u1 -udfver102 -bootdata:2#p0,e,b\"" + BootFile("etfsboot.com") +
                              "\"#pEF,e,b\"" + BootFile("efisys.bin") + "\""));
  }
  static void TearDownTestSuite() {
    delete run_;
    delete machine_;
  }
  static Result RunTool(const std::string& options) {
    return Shell("KESTRUNEX_PREFIX=" + Quote(machine_->dir().str()) + " " + Quote(ToolPath()) + " " + options +
               " 'D:\\OvantaToolTmp0\\' 'E:\\Out\\WIN7.iso'");
  }
  static fs::path Iso() { return machine_->Root('E') / "Out/WIN7.iso"; }
  static fs::path Work() { return machine_->Root('D') / "OvantaToolTmp0"; }
  void SetUp() override { ASSERT_EQ(run_->exitCode, 0) << run_->err; }

  static kxtest::TestMachine* machine_;
  static Result* run_;
};
kxtest::TestMachine* SampleImage::machine_ = nullptr;
Result* SampleImage::run_ = nullptr;

TEST_F(SampleImage, ElToritoHoldsTheBiosAndTheUefiEntry) {
  const Result r = Shell("xorriso -indev " + Quote(Iso().string()) + " -report_el_torito plain");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(boot img :\s+1\s+BIOS\s+y\s+none\s+0x0000\s+0x00\s+4\s)"))) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(boot img :\s+2\s+UEFI\s+y\s+none\s)"))) << r.out;
}

TEST_F(SampleImage, EveryFileReadsBackWithItsNameAndContent) {
  kxtest::TempDir out;
  const Result r = Shell("xorriso -osirrox on -indev " + Quote(Iso().string()) + " -extract / " +
                       Quote((out.path() / "x").string()));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // Nothing more either: the boot images and the catalog are hidden.
  EXPECT_EQ(Snapshot(out.path() / "x"), Snapshot(Work()));
}

TEST_F(SampleImage, UdfinfoSeesAClosedUdf102VolumeWithTheLabelAndSize) {
  const Result r = Shell("udfinfo " + Quote(Iso().string()));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err.find("Warning"), std::string::npos) << r.err;
  for (const std::string& line : std::vector<std::string>{"label=WIN7", "udfrev=1.02", "integrity=closed", "accesstype=readonly",
                                   "blocks=" + std::to_string(fs::file_size(Iso()) / 2048)})
    EXPECT_NE(r.out.find(line + "\n"), std::string::npos) << line << "\n" << r.out;
}

TEST_F(SampleImage, SevenZipReadsEveryFileThroughUdf) {
  kxtest::TempDir out;
  const Result r = Shell("7zz x -tudf -y -o" + Quote((out.path() / "x").string()) + " " + Quote(Iso().string()));
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("WARNING"), std::string::npos) << r.out;
  EXPECT_EQ(Snapshot(out.path() / "x"), Snapshot(Work()));
}

TEST_F(SampleImage, IsoinfoListsTheIso9660AndJolietSides) {
  const Result pvd = Shell("isoinfo -d -i " + Quote(Iso().string()));
  ASSERT_EQ(pvd.exitCode, 0) << pvd.err;
  EXPECT_NE(pvd.out.find("Volume id: WIN7\n"), std::string::npos) << pvd.out;
  EXPECT_NE(pvd.out.find("Joliet"), std::string::npos) << pvd.out;
  const Result list = Shell("isoinfo -J -f -i " + Quote(Iso().string()));
  ASSERT_EQ(list.exitCode, 0) << list.err;
  std::size_t listed = 0;
  std::istringstream lines(list.out);
  for (std::string l; std::getline(lines, l);) listed += !l.empty();
  EXPECT_EQ(listed, Snapshot(Work()).size());
}

TEST_F(SampleImage, IdenticalFilesShareOneExtent) {
  const Result r = Shell("xorriso -indev " + Quote(Iso().string()) + " -find / -type f -exec report_lba --");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto lba = [&](const std::string& path) {
    std::smatch m;
    const std::regex re(R"(File data lba:\s+\d+\s*,\s*(\d+)\s*,.*')" + path + "'");
    return std::regex_search(r.out, m, re) ? m[1].str() : std::string("none");
  };
  EXPECT_NE(lba("/OS/AutoUnattend/Intel/a.sys"), "none") << r.out;
  EXPECT_EQ(lba("/OS/AutoUnattend/Intel/a.sys"), lba("/Other/x64/Tools/copy of a.sys"));
  EXPECT_NE(lba("/OS/AutoUnattend/Intel/a.sys"), lba("/Other/x64/Tools/other.sys"));
}

TEST_F(SampleImage, ProgressLinesGrowToOneHundred) {
  const std::regex line(R"(^([ 0-9]{3})% complete$)");
  int last = -1;
  std::istringstream lines(run_->out);
  for (std::string l; std::getline(lines, l);) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(l, m, line)) << l;
    const int value = std::stoi(m[1].str());
    EXPECT_GT(value, last);
    last = value;
  }
  EXPECT_EQ(last, 100);
}

TEST_F(SampleImage, ABiosMachineBootsIntoTheMediumsBootManager) {
  const Result r = Shell(SourceDir() + "/scripts/boot-check --bios --cdrom " + Quote(Iso().string()) + " --expect " +
                       Quote(kBiosLine) + " --timeout 60");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

TEST_F(SampleImage, AUefiMachineBootsIntoTheMediumsBootManager) {
  const Result r = Shell(SourceDir() + "/scripts/boot-check --uefi --cdrom " + Quote(Iso().string()) + " --expect " +
                       Quote(kUefiLine) + " --timeout 120");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

}  // namespace
