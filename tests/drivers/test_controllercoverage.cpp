// Which package drives a USB or storage controller: Windows' ranking of a
// PCI function's IDs against the IDs packages name, which packages Windows 7
// would load, names from a PCI ID database, saved lspci listings of both
// shapes among junk, and the summary a run writes into its trace log.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "config/ovmultilangdll.h"
#include "drivers/controllercoverage.h"
#include "drivers/coveragewarnings.h"
#include "drivers/hardwareid.h"
#include "drivers/lspcilisting.h"
#include "drivers/pciids.h"
#include "platform/text.h"
#include "sampledrivers.h"
#include "testmachine.h"

namespace {

namespace fs = std::filesystem;
using platform::PciFunction;

PciFunction Function(std::uint16_t vendor, std::uint16_t device, std::uint16_t subVendor, std::uint16_t subDevice,
                     std::uint8_t revision, std::uint32_t classCode, std::string slot = "00:14.0") {
  PciFunction f;
  f.slot = std::move(slot);
  f.vendor = vendor;
  f.device = device;
  f.subVendor = subVendor;
  f.subDevice = subDevice;
  f.revision = revision;
  f.classCode = classCode;
  return f;
}

// An Intel xHCI controller of a Lenovo notebook.
const PciFunction kIntel = Function(0x8086, 0x9d2f, 0x17aa, 0x2247, 0x21, 0x0c0330);
// Storage controllers: an NVMe SSD, a SATA AHCI controller, a RAID adapter.
const PciFunction kNvme = Function(0x144d, 0xa808, 0x144d, 0xa801, 0x00, 0x010802, "01:00.0");
const PciFunction kAhci = Function(0x8086, 0xa352, 0x1028, 0x0869, 0x10, 0x010601, "00:17.0");
const PciFunction kRaid = Function(0x1000, 0x005f, 0x1028, 0x1f4b, 0x02, 0x010400, "02:00.0");

// ---- Ranking by ID ----------------------------------------------------------

struct RankCase {
  const char* name;
  std::vector<std::vector<std::string>> packages;  // each package's IDs
  std::vector<int> winners;                        // indexes into packages
  int rank;
  PciFunction function = kIntel;
  friend void PrintTo(const RankCase& c, std::ostream* os) { *os << c.name; }
};

class Ranking : public testing::TestWithParam<RankCase> {};

TEST_P(Ranking, PicksThePackagesOfTheBestRankedId) {
  const RankCase& c = GetParam();
  std::vector<drivers::PackageRecord> packages;
  for (size_t i = 0; i < c.packages.size(); ++i) {
    drivers::PackageRecord r;
    r.name = "p" + std::to_string(i);
    r.hardwareIds = c.packages[i];
    packages.push_back(r);
  }
  const drivers::PackageMatch match = drivers::BestMatch(c.function, packages);
  std::vector<int> winners;
  for (const auto* p : match.packages) winners.push_back(static_cast<int>(p - packages.data()));
  EXPECT_EQ(winners, c.winners);
  EXPECT_EQ(match.rank, c.rank);
  if (c.rank >= 0) {
    EXPECT_EQ(match.id, drivers::RankedIds(c.function)[static_cast<size_t>(c.rank)]);
  }
}

const std::string kFull = "PCI\\VEN_8086&DEV_9D2F&SUBSYS_224717AA&REV_21";
const std::string kSubsys = "PCI\\VEN_8086&DEV_9D2F&SUBSYS_224717AA";
const std::string kRev = "PCI\\VEN_8086&DEV_9D2F&REV_21";
const std::string kPlain = "PCI\\VEN_8086&DEV_9D2F";

INSTANTIATE_TEST_SUITE_P(
    Ids, Ranking,
    testing::Values(
        RankCase{"FullIdBeatsEveryOther", {{kPlain}, {"PCI\\CC_0C0330"}, {kSubsys, kFull}, {kRev}}, {2}, 0},
        RankCase{"SubsystemBeatsRevision", {{kRev}, {kSubsys}, {kPlain}}, {1}, 1},
        RankCase{"RevisionBeatsVendorAndDevice", {{kPlain}, {kRev}}, {1}, 2},
        RankCase{"VendorAndDeviceBeatTheClass", {{"PCI\\CC_0C0330"}, {kPlain}}, {1}, 3},
        RankCase{"ClassWithInterfaceBeatsClass", {{"PCI\\CC_0C03"}, {"PCI\\CC_0C0330"}}, {1}, 4},
        RankCase{"SubsystemIsDeviceThenVendor", {{"PCI\\VEN_8086&DEV_9D2F&SUBSYS_17AA2247"}, {kPlain}}, {1}, 3},
        RankCase{"AnotherRevisionOrSubsystemFallsBack",
                 {{"PCI\\VEN_8086&DEV_9D2F&REV_22", "PCI\\VEN_8086&DEV_9D2F&SUBSYS_224817AA&REV_21"}, {kPlain}}, {1}, 3},
        RankCase{"AnotherVendorsDeviceOrInterface",
                 {{"PCI\\VEN_1022&DEV_9D2F", "PCI\\CC_0C0320", "PCI\\VEN_8086&DEV_9D2E"}}, {}, -1},
        RankCase{"CaseAndSpaceDoNotMatter",
                 {{" pci\\ven_8086&dev_9d2f "}, {"Pci\\Ven_8086&Dev_9d2f&Subsys_224717aa"}}, {1}, 1},
        RankCase{"EqualRanksAreAllNamed", {{kRev}, {kPlain}, {"PCI\\VEN_8086&DEV_9D2F&REV_21"}}, {0, 2}, 2},
        RankCase{"MalformedIdsMatchNothing",
                 {{"", "PCI\\", "PCI\\VEN_8086", "PCI\\VEN_8086&DEV_9D2F&", "PCI\\VEN_80860&DEV_9D2F",
                   "PCI\\VEN_8086&DEV_9D2F&REV_021", "PCI\\VEN_8086&&DEV_9D2F", "PCI\\DEV_9D2F&VEN_8086",
                   "USB\\VID_8086&PID_9D2F", "PCI/VEN_8086&DEV_9D2F", "PCI\\CC_0C033", std::string("PCI\\VEN_8086&DEV_9D2F\0x", 23),
                   std::string(100000, '&')}},
                 {}, -1},
        RankCase{"ClassAloneAmongMalformed", {{"PCI\\CC_0C03", "PCI\\VEN_8086&DEV_9D2F&SUBSYS_2247"}}, {0}, 5},
        RankCase{"NvmeDeviceBeatsTheNvmeClass", {{"PCI\\CC_010802"}, {"PCI\\VEN_144D&DEV_A808"}}, {1}, 3, kNvme},
        RankCase{"NvmeByItsCompatibleIdAlone", {{"PCI\\CC_0108"}, {"PCI\\CC_010802"}}, {1}, 4, kNvme},
        RankCase{"NvmeClassWithoutInterface", {{"PCI\\CC_0108", "PCI\\CC_0C0330"}}, {0}, 5, kNvme},
        RankCase{"AnNvmePackageDoesNotTakeAhci", {{"PCI\\CC_010802", "PCI\\CC_0108"}}, {}, -1, kAhci},
        RankCase{"RaidBySubsystem",
                 {{"PCI\\VEN_1000&DEV_005F"}, {"PCI\\VEN_1000&DEV_005F&SUBSYS_1F4B1028"}, {"PCI\\CC_0104"}}, {1}, 1,
                 kRaid}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- What drives a controller -------------------------------------------------

drivers::PackageRecord Package(const std::string& name, std::vector<std::string> ids, const std::string& signature,
                               bool unsignedAllowed = false, std::vector<std::string> findings = {},
                               drivers::PackageKind kind = drivers::PackageKind::Usb,
                               drivers::SignatureProof proof = drivers::SignatureProof::NotSigned) {
  drivers::PackageRecord r;
  r.name = name;
  r.hardwareIds = std::move(ids);
  r.archs = {"x86", "amd64"};
  r.signature = signature;
  r.unsignedAllowed = unsignedAllowed;
  r.findings = std::move(findings);
  r.kind = kind;
  // What the library proves for a catalog signed for Windows, unless told.
  r.proof = signature == "windows" ? drivers::SignatureProof::Whql : proof;
  return r;
}

const drivers::PackageRecord kHub = Package("hub", {"IUSB3\\ROOT_HUB30&VID_8086&PID_9D2F"}, "windows");
const drivers::PackageRecord kXhci = Package("xhci", {kPlain}, "windows");
const drivers::PackageRecord kNvmeSigned =
    Package("nvme", {"PCI\\CC_010802"}, "windows", false, {}, drivers::PackageKind::Storage);

struct DriveCase {
  const char* name;
  PciFunction function;
  std::vector<drivers::PackageRecord> packages;
  std::string arch;
  bool driven;
  std::string driver;  // the package that drives it, or the unloadable one named
  bool hubMissing;
};

class Driving : public testing::TestWithParam<DriveCase> {};

TEST_P(Driving, CountsOnlyWhatWindows7Loads) {
  const DriveCase& c = GetParam();
  const auto coverage = drivers::CoverControllers({c.function}, c.packages, drivers::PciIdDatabase(""), c.arch);
  ASSERT_EQ(coverage.size(), 1u);
  const auto& got = coverage[0];
  EXPECT_EQ(got.Driven(), c.driven);
  EXPECT_EQ(got.hubMissing, c.hubMissing);
  const std::string named = !got.packages.empty()     ? got.packages[0].name
                            : !got.unloadable.empty() ? got.unloadable[0].record.name
                                                      : "";
  EXPECT_EQ(named, c.driver);
  EXPECT_EQ(got.Uncovered(), c.function.IsXhci() && !c.driven);
}

const std::vector<std::string> kMismatch = {"amd64|mismatch|X.SYS|"};

INSTANTIATE_TEST_SUITE_P(
    Packages, Driving,
    testing::Values(
        DriveCase{"SignedXhciWithItsHub", kIntel, {kXhci, kHub}, "amd64", true, "xhci", false},
        DriveCase{"XhciWithoutItsVendorsHub", kIntel, {kXhci}, "amd64", false, "xhci", true},
        DriveCase{"AnotherVendorsHubDoesNotCount", kIntel,
                  {kXhci, Package("amdhub", {"AMDUSB30\\ROOT_HUB30&VID_1022&PID_9D2F"}, "windows")}, "amd64", false,
                  "xhci", true},
        DriveCase{"AnUnsignedHubDoesNotCount", kIntel,
                  {kXhci, Package("hub", kHub.hardwareIds, "findings", true, kMismatch)}, "amd64", false, "xhci", true},
        DriveCase{"AddedUnsignedDoesNotDriveOnAmd64", kIntel,
                  {Package("xhci", {kPlain}, "findings", true, kMismatch), kHub}, "amd64", false, "xhci", false},
        DriveCase{"NorWithoutARunWhenItServesAmd64", kIntel,
                  {Package("xhci", {kPlain}, "findings", true, kMismatch), kHub}, "", false, "xhci", false},
        DriveCase{"ButDrivesOn32BitWindows", kIntel,
                  {Package("xhci", {kPlain}, "findings", true, kMismatch), kHub}, "x86", true, "xhci", false},
        DriveCase{"X86FindingsOnlyStillLoadOnAmd64", kIntel,
                  {Package("xhci", {kPlain}, "findings", false, {"x86|mismatch|X.SYS|"}, drivers::PackageKind::Usb,
                           drivers::SignatureProof::Whql),
                   kHub},
                  "amd64", true, "xhci", false},
        DriveCase{"Sha256OnlyDoesNotDriveOnAmd64", kIntel,
                  {Package("xhci", {kPlain}, "findings", false, {}, drivers::PackageKind::Usb,
                           drivers::SignatureProof::Sha256Only),
                   kHub},
                  "amd64", false, "xhci", false},
        DriveCase{"NorDoesANameOnlyRoot", kIntel,
                  {Package("xhci", {kPlain}, "findings", false, {}, drivers::PackageKind::Usb,
                           drivers::SignatureProof::UnacceptedRoot),
                   kHub},
                  "amd64", false, "xhci", false},
        DriveCase{"ALoadableWorseMatchWinsOverAnUnloadableBetterOne", kIntel,
                  {Package("best", {kFull}, "findings", true, kMismatch), Package("class", {"PCI\\CC_0C0330"}, "windows"),
                   kHub},
                  "amd64", true, "class", false},
        DriveCase{"UncheckedRecordsCount", kIntel, {Package("old", {kPlain}, ""), kHub}, "amd64", true, "old", false},
        DriveCase{"Ehci", Function(0x8086, 0x1e26, 0, 0, 4, 0x0c0320), {}, "amd64", true, "", false},
        DriveCase{"AhciByWindows", kAhci, {}, "amd64", true, "", false},
        DriveCase{"IdeByWindows", Function(0x8086, 0x7010, 0, 0, 0, 0x010180), {}, "amd64", true, "", false},
        DriveCase{"NvmeNeedsAPackage", kNvme, {}, "amd64", false, "", false},
        DriveCase{"NvmeByAStoragePackage", kNvme, {kNvmeSigned}, "amd64", true, "nvme", false},
        DriveCase{"NvmeByAnUnsignedOne", kNvme,
                  {Package("nvme", {"PCI\\CC_010802"}, "findings", true, kMismatch, drivers::PackageKind::Storage)}, "amd64",
                  false, "nvme", false},
        DriveCase{"RaidMayNeedOne", kRaid, {kNvmeSigned}, "amd64", false, "", false},
        DriveCase{"SataWithoutAhci", Function(0x1b4b, 0x9230, 0, 0, 0x11, 0x010600), {}, "amd64", false, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Names from the PCI ID database ------------------------------------------

const char* const kDatabase =
    "# pci.ids made by the test\n"
    "#\t9d2f  a comment that looks like a device\n"
    "0000  Gammagraphx, Inc.\n"
    "\t0000  Zero device\n"
    "17aa  Lenovo\n"
    "\t9d2f  Lenovo's own 9d2f\n"
    "8086  Intel Corporation\r\n"
    "\t9d2e  Neighbour\n"
    "\t9d2f0  A longer ID\n"
    "\t\t17aa 2247  Subsystem of the longer ID\n"
    "\t9d2f  Sunrise Point-LP USB 3.0 xHCI Controller\r\n"
    "\t\t1028 2247  Dell subsystem of the same number\n"
    "\t\t17aa 2247  ThinkPad T470\n"
    "\t\t17aa 22470  longer number\n"
    "\tzz9d2f  junk under Intel\n"
    "1912  Renesas \x01Technology\tCorp.   \n"
    "1b21\n"
    "8086  A later Intel line\n"
    "C 0c  Serial bus controller\n"
    "\t03  USB controller\n"
    "1022  Vendor after the class list\n";

void ExpectNames(const drivers::PciNames& got, const drivers::PciNames& want) {
  EXPECT_EQ(got.vendor, want.vendor);
  EXPECT_EQ(got.device, want.device);
  EXPECT_EQ(got.subVendor, want.subVendor);
  EXPECT_EQ(got.subsystem, want.subsystem);
}

TEST(PciIdDatabase, NamesVendorDeviceAndSubsystemPassingOverOtherLines) {
  const drivers::PciIdDatabase db(kDatabase);
  ExpectNames(db.Names(kIntel),
              {"Intel Corporation", "Sunrise Point-LP USB 3.0 xHCI Controller", "Lenovo", "ThinkPad T470"});
  // A zero subsystem is none, though the database names a vendor 0000.
  ExpectNames(db.Names(Function(0x8086, 0x9d2f, 0, 0, 0, 0x0c0330)),
              {"Intel Corporation", "Sunrise Point-LP USB 3.0 xHCI Controller", "", ""});
  ExpectNames(db.Names(Function(0x1912, 0x0015, 0, 0, 0, 0x0c0330)), {"Renesas ?Technology?Corp.", "", "", ""});
  // A vendor line without a name, and vendors after the class list.
  ExpectNames(db.Names(Function(0x1b21, 0x1242, 0x1022, 0x0001, 0, 0x0c0330)), {"", "", "", ""});
}

TEST(PciIdDatabase, LongNamesAreCutAndAMissingFileNamesNothing) {
  const drivers::PciIdDatabase db("1234  " + std::string(5000, 'x') + "\n");
  EXPECT_EQ(db.VendorName(0x1234), std::string(drivers::kMaxPciNameChars, 'x'));
  kxtest::TempDir dir;
  EXPECT_TRUE(drivers::PciIdDatabase::Load(dir.str() + "/missing.ids").Empty());
  EXPECT_TRUE(drivers::PciIdDatabase::Load(dir.str()).Empty());
}

// The installed database (Debian's pci.ids) is read the same way.
TEST(PciIdDatabase, ReadsTheSystemsDatabase) {
  const drivers::PciIdDatabase db = drivers::PciIdDatabase::Load();
  if (db.Empty()) GTEST_SKIP() << drivers::kPciIdsFile << " is not installed";
  EXPECT_EQ(db.VendorName(0x8086), "Intel Corporation");
  EXPECT_NE(db.VendorName(0x1b21).find("ASMedia"), std::string::npos);
  EXPECT_EQ(db.Names(kIntel).device, "Sunrise Point-LP USB 3.0 xHCI Controller");
}

// ---- Saved lspci listings -----------------------------------------------------

// Both shapes, -vmmn too, with what users paste around them.
const char* const kListing =
    "user@host:~$ lspci -vmmnn\n"
    "Slot:\t00:14.0\n"
    "Class:\tUSB controller [0c03]\n"
    "Vendor:\tIntel Corporation [8086]\n"
    "Device:\tSunrise Point-LP USB 3.0 xHCI Controller [9d2f]\n"
    "SVendor:\tLenovo [17aa]\n"
    "SDevice:\tThinkPad T470 [2247]\n"
    "Rev:\t21\n"
    "ProgIf:\t30\n"
    "IOMMUGroup:\t5\n"
    "\n"
    "Slot:\t0000:05:00.0\r\n"
    "Class:\tUSB controller [0c03]\r\n"
    "Vendor:\tAdvanced Micro Devices, Inc. [AMD] [1022]\r\n"
    "Device:\tFamily 17h (Models 00h-0fh) USB 3.0 Host Controller [145f]\r\n"
    "ProgIf:\t30\r\n"
    "\r\n"
    "Slot:\tnot a slot\n"
    "Class:\tUSB controller [0c03]\n"
    "Vendor:\tJunk [dead]\n"
    "Device:\tJunk [beef]\n"
    "\n"
    "Slot:   00:1a.0\n"
    "Class:  0c03\n"
    "Vendor: 8086\n"
    "Device: 1e2d\n"
    "Rev:    04\n"
    "ProgIf: 20\n"
    "\n"
    "Slot:\t00:1f.3\n"
    "Class:\tAudio device [0403]\n"
    "Vendor:\tIntel Corporation [8086]\n"
    "\n"
    "user@host:~$ lspci -nnv\n"
    "02:00.0 USB controller [0c03]: ASMedia Technology Inc. ASM1042A USB 3.0 Host Controller [1b21:1142] (prog-if 30 [XHCI])\n"
    "\tSubsystem: ASUSTeK Computer Inc. Device [1043:8488]\n"
    "\tFlags: bus master, fast devsel, latency 0, IRQ 19\n"
    "\tCapabilities: [50] MSI: Enable- Count=1/8 Maskable- 64bit+\n"
    "\tKernel driver in use: xhci_hcd\n"
    "\n"
    "03:00.0 USB controller [0c03]: Renesas Technology Corp. uPD720202 USB 3.0 Host Controller [1912:0015] (rev 02) (prog-if 30 [XHCI])\n"
    "  Subsystem: Renesas Technology Corp. Device [1912:0015]\n"
    "00:02.0 VGA compatible controller [0300]: Intel Corporation Device [8086:5916] (rev 02) (prog-if 00 [VGA controller])\n"
    "00:03.0 USB controller: Intel Corporation Device 9d2f (rev 21)\n"
    "\tSubsystem: Lenovo Device [17aa:9999]\n"
    "\x7f\x45LF\x02\x01\x01\n"
    "Device:\tan orphan field [1234]\n";

TEST(LspciListing, ReadsBothShapesAmongJunk) {
  // The audio device names no device: left out.
  const std::vector<PciFunction> expected = {
      Function(0x8086, 0x9d2f, 0x17aa, 0x2247, 0x21, 0x0c0330, "00:14.0"),
      Function(0x1022, 0x145f, 0, 0, 0, 0x0c0330, "0000:05:00.0"),
      Function(0x8086, 0x1e2d, 0, 0, 0x04, 0x0c0320, "00:1a.0"),
      Function(0x1b21, 0x1142, 0x1043, 0x8488, 0, 0x0c0330, "02:00.0"),
      Function(0x1912, 0x0015, 0x1912, 0x0015, 0x02, 0x0c0330, "03:00.0"),
      Function(0x8086, 0x5916, 0, 0, 0x02, 0x030000, "00:02.0")};
  const std::vector<PciFunction> got = drivers::ParseLspciListing(kListing);
  const auto fields = [](const PciFunction& f) {
    return std::tuple(f.slot, f.vendor, f.device, f.subVendor, f.subDevice, f.revision, f.classCode);
  };
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(fields(got[i]), fields(expected[i]));
}

TEST(LspciListing, BoundsLinesAndRecords) {
  // An overlong header is passed over whole; records beyond the cap are not kept.
  std::string text = "00:14.0 USB controller [0c03]: " + std::string(drivers::kMaxLspciLineChars, 'x') + " [8086:9d2f]\n";
  for (size_t i = 0; i < drivers::kMaxLspciFunctions + 10; ++i) text += "00:14.0 USB controller [0c03]: X [8086:9d2f]\n";
  EXPECT_EQ(drivers::ParseLspciListing(text).size(), drivers::kMaxLspciFunctions);
  std::vector<PciFunction> functions;
  EXPECT_EQ(drivers::ReadLspciListing("/dev/zero", functions), platform::ERROR_BAD_FILE_TYPE);
}

// ---- The run's summary in the trace log --------------------------------------

void WriteFunction(const fs::path& devices, const std::string& slot, const std::string& cls, const std::string& vendor,
                   const std::string& device) {
  fs::create_directories(devices / slot);
  for (const auto& [file, value] : {std::pair{"class", cls}, {"vendor", vendor}, {"device", device},
                                    {"subsystem_vendor", std::string("0x0000")}, {"subsystem_device", std::string("0x0000")},
                                    {"revision", std::string("0x03")}})
    std::ofstream(devices / slot / file) << value << "\n";
}

// The sample machine's Intel package names 8086:F31E; nothing drives the
// Renesas controller nor the NVMe SSD; Windows 7 drives the EHCI controller
// itself; the network controller is neither USB nor storage.
TEST(CoverageTrace, ARunsFirstLinesNameEachControllerAndWhatDrivesIt) {
  kxtest::TestMachine machine;
  kxtest::AddSampleDrivers();
  kxtest::TempDir sys;
  const fs::path devices = sys.path() / "devices";
  WriteFunction(devices, "0000:00:14.0", "0x0c0330", "0x8086", "0xf31e");
  WriteFunction(devices, "0000:00:1d.0", "0x0c0320", "0x8086", "0x1e26");
  WriteFunction(devices, "0000:03:00.0", "0x0c0330", "0x1912", "0x0015");
  WriteFunction(devices, "0000:04:00.0", "0x020000", "0x8086", "0x15b8");
  WriteFunction(devices, "0000:05:00.0", "0x010802", "0x144d", "0xa808");
  std::ofstream(sys.path() / "pci.ids") << "1912  Renesas Technology Corp.\n8086  Intel Corporation\n";
  drivers::TraceDriverCoverage(true, devices.string(), (sys.path() / "pci.ids").string());
  const std::string log =
      kxtest::ReadHostFile(machine.Root('C') / "ProgramData" / "Ovanta" / "Kestrunex" / "RAREzodav.log");
  EXPECT_NE(log.find("[DriverCoverage] USB controllers of this computer: 3, driver packages for amd64: "),
            std::string::npos) << log;
  EXPECT_NE(log.find("[DriverCoverage] 0000:00:14.0 xHCI 8086:f31e subsystem 0000:0000 rev 03 Intel Corporation -> iusb3xhc_"),
            std::string::npos) << log;
  EXPECT_NE(log.find("(PCI\\VEN_8086&DEV_F31E&SUBSYS_00000000)\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("[DriverCoverage] 0000:00:1d.0 EHCI 8086:1e26 subsystem 0000:0000 rev 03 Intel Corporation -> "
                     "Windows 7's own driver\r\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("[DriverCoverage] 0000:03:00.0 xHCI 1912:0015 subsystem 0000:0000 rev 03 Renesas Technology Corp. "
                     "-> no package (vendor 1912 Renesas Technology Corp.)\r\n"),
            std::string::npos) << log;
  EXPECT_EQ(log.find("0000:04:00.0"), std::string::npos) << log;
  EXPECT_NE(log.find("[DriverCoverage] Storage controllers of this computer: 1\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("[DriverCoverage] 0000:05:00.0 NVMe 144d:a808 subsystem 0000:0000 rev 03 -> no package (Windows 7 "
                     "SP1 has no NVMe driver)\r\n"),
            std::string::npos) << log;
  // The wizard's warning names the same controller, and only it.
  const auto warnings = drivers::UndrivenStorageWarnings(true, devices.string(), (sys.path() / "pci.ids").string());
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(L"0000:05:00.0 NVMe"), std::wstring::npos);
  EXPECT_NE(warnings[0].find(Translate(L"Drivers Check Nvme")), std::wstring::npos) << platform::AnsiFromWide(warnings[0]);
}

}  // namespace
