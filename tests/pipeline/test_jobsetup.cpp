// The job set-up both front ends share: which drives are offered, the
// source against a stick or an ISO folder around the source + 500 MiB line,
// the space a failed work-folder search names, and the start of a run (its
// record, its work folder and its first trace lines).

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "pipeline/jobchecks.h"
#include "pipeline/runsetup.h"
#include "pipeline/steplists.h"
#include "platform/text.h"
#include "sampledrivers.h"
#include "testmachine.h"

namespace {

constexpr int kSourceMB = 4000;

std::vector<kxtest::DriveSpec> Drives(std::uint64_t stickMb, std::uint64_t isoDriveFreeMb) {
  return {{.letter = 'E', .type = "cdrom", .label = "DVD", .fileSystem = "CDFS"},
          {.letter = 'F', .type = "removable", .bus = "usb", .fileSystem = "FAT32", .freeMb = 0, .totalMb = stickMb},
          {.letter = 'G', .type = "fixed", .bus = "sata", .fileSystem = "NTFS", .freeMb = isoDriveFreeMb},
          {.letter = 'H', .type = "cdrom", .ready = false},
          {.letter = 'K', .type = "removable", .bus = "usb", .fileSystem = "FAT32", .ready = false}};
}

TEST(JobChecks, DrivesAreOfferedByKindInLetterOrder) {
  kxtest::TestMachine machine(Drives(7600, 100000));
  // Z: is the host's root, on every machine.
  EXPECT_EQ(DriveRoots(),
            (std::vector<std::wstring>{L"C:\\", L"E:\\", L"F:\\", L"G:\\", L"H:\\", L"K:\\", L"Z:\\"}));
  EXPECT_EQ(OpticalDriveRoots(), (std::vector<std::wstring>{L"E:\\", L"H:\\"}));
  EXPECT_EQ(UsbDriveRoots(), (std::vector<std::wstring>{L"F:\\", L"K:\\"}));
  // A drive without a disc or card measures 0: the front ends refuse it.
  EXPECT_EQ(SourceSizeMB(L"H:\\"), 0);
  EXPECT_EQ(StickCapacityMB(L"K:\\"), 0);
  EXPECT_EQ(StickCapacityMB(L"F:\\"), 7600);
}

TEST(JobChecks, SourceSizeIsWholeMebibytesOfEveryFileAndTheArchitectureComesFromItsBuildInfo) {
  kxtest::TestMachine machine(Drives(7600, 100000));
  machine.WriteFile('E', "sources/install.wim", std::string(3 * 1048576 - 100, 'w'));
  machine.WriteFile('E', "sources/idwbinfo.txt", "[BUILDINFO]\r\nBuildArch=amd64\r\n");
  EXPECT_EQ(SourceSizeMB(L"E:\\"), 2);
  EXPECT_TRUE(SourceIs64Bit(L"E:\\"));
  machine.WriteFile('E', "sources/idwbinfo.txt", "[BUILDINFO]\r\nBuildArch=x86\r\n");
  EXPECT_FALSE(SourceIs64Bit(L"E:\\"));
}

// A 4,000 MiB source against sticks and folders around the 4,500 MiB line:
// a stick may hold exactly that, an ISO drive must have more free.
struct TargetCase {
  const char* name;
  std::uint64_t targetMB;  // the stick's size and the ISO drive's free space
  bool stickTakesIt;
  IsoFolderVerdict isoVerdict;
};

class TargetLine : public testing::TestWithParam<TargetCase> {};

TEST_P(TargetLine, TheSourcePlusFiveHundredDecides) {
  const TargetCase& c = GetParam();
  kxtest::TestMachine machine(Drives(c.targetMB, c.targetMB));
  std::filesystem::create_directories(machine.Root('G') / "iso");
  EXPECT_EQ(StickBigEnough(StickCapacityMB(L"F:\\"), kSourceMB), c.stickTakesIt);
  EXPECT_EQ(CheckIsoFolder(L"G:\\iso\\", kSourceMB), c.isoVerdict);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, TargetLine,
    testing::Values(TargetCase{"Exactly4500", 4500, true, IsoFolderVerdict::TooSmall},
                    TargetCase{"Just4499", 4499, false, IsoFolderVerdict::TooSmall},
                    TargetCase{"Just4501", 4501, true, IsoFolderVerdict::Accepted}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JobChecks, AnIsoFolderOffNtfsOrInsideTheWorkFolderIsRefusedWithItsKey) {
  kxtest::TestMachine machine(Drives(7600, 100000), 100000);
  const std::filesystem::path work = machine.Root('C') / "ProgramData/Ovanta/Kestrunex/OvantaToolTmp/iso";
  std::filesystem::create_directories(work);
  // Off NTFS is told before the space: the stick has none free.
  EXPECT_EQ(CheckIsoFolder(L"F:\\", kSourceMB), IsoFolderVerdict::NotNtfs);
  const IsoFolderVerdict inside = CheckIsoFolder(L"C:\\ProgramData\\Ovanta\\Kestrunex\\OvantaToolTmp\\iso\\", 10);
  EXPECT_EQ(inside, IsoFolderVerdict::InsideWorkFolder);
  EXPECT_STREQ(IsoFolderKey(IsoFolderVerdict::NotNtfs), L"Not NTFS");
  EXPECT_STREQ(IsoFolderKey(IsoFolderVerdict::TooSmall), L"Disk too small");
  EXPECT_STREQ(IsoFolderKey(inside), L"ISO folder in work folder");
  EXPECT_EQ(IsoFolderKey(IsoFolderVerdict::Accepted), nullptr);
}

// No drive has room for the work folder: nothing is made, and the warning
// names the required size, twice as much in ISO mode.
TEST(RunSetup, WithoutRoomForTheWorkFolderNothingIsMadeAndTheNeedDoublesForAnImage) {
  kxtest::TestMachine machine(Drives(4400, 4400), 100);
  std::filesystem::create_directories(machine.Root('G') / "iso");
  for (const int mode : {kModeUsb, kModeIso}) {
    const RunSetup setup = PrepareRun(L"E:\\", mode == kModeUsb ? L"F:\\" : L"G:\\iso\\", mode, kSourceMB);
    EXPECT_EQ(setup.result, RunSetupResult::NoWorkFolder);
    EXPECT_TRUE(setup.workFolder.empty());
    EndRunFolders(setup);
    EXPECT_TRUE(std::filesystem::is_empty(machine.Root('G') / "iso"));
  }
  EXPECT_EQ(SpaceNeededMB(kSourceMB, kModeUsb), 4500);
  EXPECT_EQ(SpaceNeededMB(kSourceMB, kModeIso), 9000);
}

// The record as the worker reads it and the run's first trace lines, in
// order, written as they are: the USB target cut to its root, the ISO
// folder whole.
struct StartCase {
  const char* name;
  int mode;
  const wchar_t* target;
  const char* tagPath;
};

class RunStart : public testing::TestWithParam<StartCase> {};

TEST_P(RunStart, FillsTheRecordAndTracesItsSevenLines) {
  const StartCase& c = GetParam();
  kxtest::TestMachine machine(Drives(7600, 100000), 100000);
  machine.WriteFile('E', "sources/idwbinfo.txt", "[BUILDINFO]\r\nBuildArch=AMD64\r\n");
  kxtest::AddSampleDrivers();
  const std::filesystem::path isoFolder = machine.Root('G') / "50%done %s";
  std::filesystem::create_directories(isoFolder);
  const RunSetup setup = PrepareRun(L"E:\\", c.target, c.mode, 10);
  ASSERT_EQ(setup.result, RunSetupResult::Ready) << platform::AnsiFromWide(setup.why);
  // ISO mode: the image's temporary file is made first, and goes with the
  // work folder when the run ends without turning it into the image.
  EXPECT_EQ(std::filesystem::is_empty(isoFolder), c.mode == kModeUsb);
  EXPECT_EQ(setup.info.szIsoTmpFile, setup.isoTempFile);
  EXPECT_EQ(setup.workFolder, L"C:\\ProgramData\\Ovanta\\Kestrunex\\OvantaToolTmp\\");
  EXPECT_TRUE(std::filesystem::is_directory(machine.Root('C') / "ProgramData/Ovanta/Kestrunex/OvantaToolTmp"));
  EXPECT_TRUE(setup.info.bIs64bitDVD);
  WriteRunStart(setup.info, c.mode);
  const std::string trace = kxtest::ReadHostFile(machine.Root('C') / "ProgramData/Ovanta/Kestrunex/RAREzodav.log");
  const std::string expected = std::string("WIN7_OPERAT_INFO:szSourcePath: E:\\\r\n") +
                               "WIN7_OPERAT_INFO:szDriverPath: C:\\ProgramData\\Ovanta\\Kestrunex\\U3\r\n" +
                               "WIN7_OPERAT_INFO:szImgDriverPath: C:\\ProgramData\\Ovanta\\Kestrunex\\OS\r\n" +
                               "WIN7_OPERAT_INFO:szTagPath: " + c.tagPath + "\r\n" +
                               "WIN7_OPERAT_INFO:szTmpPath: C:\\ProgramData\\Ovanta\\Kestrunex\\OvantaToolTmp\\\r\n" +
                               "WIN7_OPERAT_INFO:bIs64bitDVD: 1\r\n" +
                               "WIN7_OPERAT_INFO:m_DlgType: " + std::to_string(c.mode) + "\r\n";
  // Each trace line starts with the time; compare what follows it.
  std::string lines;
  for (size_t at = 0; (at = trace.find("WIN7_OPERAT_INFO", at)) != std::string::npos;) {
    const size_t end = trace.find("\r\n", at) + 2;
    lines += trace.substr(at, end - at);
    at = end;
  }
  EXPECT_EQ(lines, expected) << trace;
  EndRunFolders(setup);
  EXPECT_TRUE(std::filesystem::is_empty(isoFolder));
  EXPECT_FALSE(std::filesystem::exists(machine.Root('C') / "ProgramData/Ovanta/Kestrunex/OvantaToolTmp"));
}

TEST(RunStart, AnIsoFolderThatTakesNoFileStopsTheRunBeforeTheWorkFolderIsMade) {
  kxtest::TestMachine machine(Drives(7600, 100000), 100000);
  const RunSetup setup = PrepareRun(L"E:\\", L"G:\\missing\\", kModeIso, 10);
  EXPECT_EQ(setup.result, RunSetupResult::IsoFolderNotWritable);
  EXPECT_NE(setup.why.find(L"G:\\missing\\ (error 2)"), std::wstring::npos) << platform::AnsiFromWide(setup.why);
  EXPECT_TRUE(setup.workFolder.empty());
  EXPECT_FALSE(std::filesystem::exists(machine.Root('C') / "ProgramData/Ovanta/Kestrunex/OvantaToolTmp"));
}

// Root on a user's behalf: an ISO folder root may write but that user may
// not is refused the same way, and nothing is left in it.
TEST(RunStart, AnIsoFolderTheInvokingUserCannotWriteStopsTheRunAsRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root acting for another user";
  kxtest::TestMachine machine(Drives(7600, 100000), 100000);
  std::filesystem::create_directories(machine.Root('G') / "iso");
  ::setenv("SUDO_UID", std::to_string(kxtest::kNobodyUid).c_str(), 1);
  const RunSetup setup = PrepareRun(L"E:\\", L"G:\\iso\\", kModeIso, 10);
  ::unsetenv("SUDO_UID");
  EXPECT_EQ(setup.result, RunSetupResult::IsoFolderNotWritable);
  EXPECT_NE(setup.why.find(L"(error 5)"), std::wstring::npos) << platform::AnsiFromWide(setup.why);
  EXPECT_TRUE(std::filesystem::is_empty(machine.Root('G') / "iso"));
}

INSTANTIATE_TEST_SUITE_P(Modes, RunStart,
                         testing::Values(StartCase{"UsbRootOfTheEntry", kModeUsb, L"F:\\ (Capacity 7600 MB )", "F:\\"},
                                         StartCase{"IsoFolderWhole", kModeIso, L"G:\\50%done %s\\",
                                                   "G:\\50%done %s\\"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
