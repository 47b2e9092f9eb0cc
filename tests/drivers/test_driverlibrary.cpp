// The driver library as a user meets it through kestrunex-cli: packages made
// by the test, shipped the ways vendors ship them, added, listed, added again,
// removed; hostile archives refused with nothing written outside the
// unpacking folder; faulty packages refused with their reason; and the run's
// OS folder placing each package by vendor.

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "config/ovmultilangdll.h"
#include "drivers/archiveunpacker.h"
#include "drivers/driverlibrary.h"
#include "drivers/inputkind.h"
#include "drivers/runosfolder.h"
#include "drivers/safefolder.h"
#include "drivers/stalefolders.h"
#include "packagekit.h"
#include "platform/text.h"
#include "testmachine.h"
#include "tools/cli/cli.h"

namespace {

using namespace kxdrv;

struct CliRun {
  int code;
  std::string out;
};

// kestrunex-cli with these arguments, on the test's machine.
CliRun Cli(const std::vector<std::string>& args) {
  std::FILE* out = std::tmpfile();
  std::FILE* in = std::tmpfile();
  const int code = RunCli(args, out, out, in);
  std::rewind(out);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) text.append(buffer, n);
  std::fclose(out);
  std::fclose(in);
  return {code, text};
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class DriverLibraryTest : public testing::Test {
 protected:
  kxtest::TestMachine machine;
  kxtest::TempDir work;
  fs::path Library() const { return machine.dir().path() / "drivers"; }
  std::vector<std::string> Stored() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(Library(), ec)) names.push_back(e.path().filename().string());
    return names;
  }
};

class ArchiveKinds : public DriverLibraryTest, public testing::WithParamInterface<Kind> {};

TEST_P(ArchiveKinds, AddedListedAddedAgainWithoutChangeAndRemoved) {
  const fs::path source = work.path() / "pkg";
  WritePackage(source, {.name = "tstxhc", .vendor = "1912"});
  const fs::path shipped = work.path() / (std::string("download.") + KindName(GetParam()));
  ASSERT_EQ(Pack(GetParam(), source, shipped), "");

  const CliRun added = Cli({"drivers", "add", shipped.string()});
  ASSERT_EQ(added.code, 0) << added.out;
  const std::vector<std::string> stored = Stored();
  ASSERT_EQ(stored.size(), 1u) << added.out;
  const std::string name = stored.front();
  EXPECT_EQ(name.rfind("tstxhc_", 0), 0u);
  EXPECT_NE(added.out.find(name), std::string::npos) << added.out;
  // The files as the vendor shipped them, byte for byte, and the record.
  for (const char* file : {"tstxhc.inf", "tstxhc.sys", "tstxhc.cat"})
    EXPECT_EQ(ReadAll(Library() / name / "files" / file), ReadAll(source / file)) << file;
  const std::string record = ReadAll(Library() / name / "record.ini");
  for (const std::string& expected : std::vector<std::string>{"provider = \"Test Vendor 1912\"", "class = \"USB\"", "version = \"1.2.3.4\"",
                                     "date = \"01/02/2020\"", "architectures = \"x86 amd64\"", "sample = \"no\"",
                                     "hardware_id = \"PCI\\VEN_1912&DEV_1234\"", "origin = \"" + shipped.string() + "\""})
    EXPECT_NE(record.find(expected), std::string::npos) << expected << "\n" << record;

  const auto stamp = fs::last_write_time(Library() / name / "record.ini");
  const CliRun again = Cli({"drivers", "add", shipped.string()});
  EXPECT_EQ(again.code, 0) << again.out;
  EXPECT_EQ(Stored(), stored);
  EXPECT_EQ(fs::last_write_time(Library() / name / "record.ini"), stamp);

  const CliRun listed = Cli({"drivers", "list"});
  EXPECT_NE(listed.out.find(name + "  Test Vendor 1912  USB  1.2.3.4  01/02/2020  x86 amd64"), std::string::npos)
      << listed.out;

  EXPECT_EQ(Cli({"drivers", "remove", name}).code, 0);
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(Cli({"drivers", "remove", name}).code, 1);
  // Nothing of the unpacking stays behind. Other runs on the machine (the
  // other cases, other checkouts' tests) unpack there too, each for a moment:
  // a folder counts only when it outlives them.
  std::string left;
  for (int wait = 0; wait < 100 && (left = Sh("ls /tmp | grep -c '^kestrunex-drivers-'")) != "0\n"; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(left, "0\n");
}

INSTANTIATE_TEST_SUITE_P(Kinds, ArchiveKinds,
                         testing::Values(Kind::Folder, Kind::Zip, Kind::Cab, Kind::SevenZip, Kind::SelfExtractor,
                                         Kind::SevenZipSelfExtractor, Kind::Msi),
                         [](const auto& info) { return std::string(KindName(info.param)); });

// Archives no driver download holds, made with python's zipfile: each is
// refused with its reason and writes nothing outside the unpacking folder.
struct HostileCase {
  const char* name;
  const char* members;  // python: a list of (name, bytes-or-None, external_attr)
  drivers::UnpackCode expected;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileArchives : public DriverLibraryTest, public testing::WithParamInterface<HostileCase> {};

TEST_P(HostileArchives, AreRefusedWithNothingWrittenOutside) {
  const HostileCase& c = GetParam();
  const fs::path archive = work.path() / "hostile.zip";
  const fs::path out = work.path() / "a" / "b" / "out";
  fs::create_directories(out);
  int status = -1;
  const std::string made = Sh("python3 -c \"import sys, zipfile\nwith zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                              "    for name, data, attr in " + std::string(c.members) + ":\n"
                              "        info = zipfile.ZipInfo(name); info.external_attr = attr << 16; info.compress_type = zipfile.ZIP_DEFLATED\n"
                              "        z.writestr(info, data)\" '" + archive.string() + "'",
                              &status);
  ASSERT_EQ(status, 0) << made;
  const drivers::UnpackResult result =
      drivers::UnpackArchive(archive.string(), out.string(), {.maxTotalBytes = 1 << 20, .maxMembers = 10});
  EXPECT_EQ(result.code, c.expected) << result.detail;
  // Outside the unpacking folder: only what the test made.
  std::vector<std::string> outside;
  for (auto it = fs::recursive_directory_iterator(work.path()); it != fs::recursive_directory_iterator(); ++it)
    if (it->path().string().rfind(out.string(), 0) != 0) outside.push_back(fs::relative(it->path(), work.path()).string());
  std::sort(outside.begin(), outside.end());
  EXPECT_EQ(outside, (std::vector<std::string>{"a", "a/b", "hostile.zip"}));
  EXPECT_FALSE(fs::exists("/tmp/kx-hostile-absolute"));

  // Through the program: one refusal line, exit status 1, an empty library.
  const CliRun run = Cli({"drivers", "add", archive.string()});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.out.find(archive.string()), std::string::npos) << run.out;
  EXPECT_TRUE(Stored().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileArchives,
    testing::Values(HostileCase{"Traversal", "[('drv/../../escape.inf', b'x', 0o100644)]", drivers::UnpackCode::UnsafeName},
                    HostileCase{"BackslashTraversal", "[('..\\\\\\\\..\\\\\\\\escape.inf', b'x', 0o100644)]",
                                drivers::UnpackCode::UnsafeName},
                    HostileCase{"AbsoluteName", "[('/tmp/kx-hostile-absolute', b'x', 0o100644)]",
                                drivers::UnpackCode::UnsafeName},
                    HostileCase{"SymbolicLink", "[('drv/link', b'/etc', 0o120777), ('drv/link/passwd', b'x', 0o100644)]",
                                drivers::UnpackCode::Link},
                    HostileCase{"Bomb", "[('drv/zeros.sys', bytes(4 << 20), 0o100644)]", drivers::UnpackCode::TooLarge},
                    HostileCase{"TooManyMembers", "[('drv/f%d.inf' % i, b'x', 0o100644) for i in range(40)]",
                                drivers::UnpackCode::TooMany}),
    [](const auto& info) { return std::string(info.param.name); });

// Vendor downloads with folder names beyond ASCII, zipped by python's
// zipfile (which sets the UTF-8 flag for such names) and patched where a
// vendor's tool would differ: the flag cleared over UTF-8 bytes, a code
// page 437 byte, a flag over bytes that are no UTF-8 (read as code page 437
// too: libarchive does not tell whether the flag was set). Each is added
// under its name as written, or refused with the name shown printable.
struct VendorNameCase {
  const char* name;
  const char* folder;    // as zipfile writes it
  const char* patch;     // python: (bytes, bytes) replaced in the archive, or None
  bool clearUtf8Flag;
  const char* stored;    // the folder as the library keeps it ("" refused)
  const char* refusal;   // in the output when refused
};

const VendorNameCase kVendorNames[] = {
    {"FrenchFlagged", "Treiber für USB/pilote français", "None", false, "Treiber für USB/pilote français", ""},
    {"JapaneseFlagged", "ドライバー/USB3.0 ドライバ", "None", false, "ドライバー/USB3.0 ドライバ", ""},
    {"Utf8WithoutTheFlag", "Treiber für USB", "None", true, "Treiber für USB", ""},
    {"CodePage437", "Treiber fXr USB", "(b'fXr', b'f\\x81r')", false, "Treiber für USB", ""},
    {"FlaggedButNoUtf8", "Xpilote", "(b'Xpilote', b'\\xffpilote')", false, "\u00a0pilote", ""},
    {"ColonInAName", "pilote:USB", "None", false, "", "Drivers Windows Name"},
    {"DeviceName", "drv/NUL.x", "None", false, "", "Drivers Windows Name"},
};

class VendorNames : public DriverLibraryTest, public testing::WithParamInterface<VendorNameCase> {};

TEST_P(VendorNames, AreReadAsTheVendorWroteThem) {
  const VendorNameCase& c = GetParam();
  const fs::path package = work.path() / "pkg";
  WritePackage(package, {});
  const fs::path archive = work.path() / "vendor.zip";
  int status = -1;
  const std::string script =
      "import os, sys, zipfile\n"
      "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
      "    for f in sorted(os.listdir(sys.argv[2])):\n"
      "        info = zipfile.ZipInfo(sys.argv[3] + '/' + f)\n"
      "        if sys.argv[3].startswith('X'): info.flag_bits |= 0x800\n"
      "        z.writestr(info, open(os.path.join(sys.argv[2], f), 'rb').read())\n"
      "data = bytearray(open(sys.argv[1], 'rb').read())\n"
      "if sys.argv[4] == '1':\n"
      "    for sig, at in ((b'PK\\x03\\x04', 6), (b'PK\\x01\\x02', 8)):\n"
      "        i = data.find(sig)\n"
      "        while i >= 0:\n"
      "            data[i + at + 1] &= 0xF7\n"
      "            i = data.find(sig, i + 4)\n"
      "patch = " + std::string(c.patch) + "\n"
      "if patch: data = data.replace(*patch)\n"
      "open(sys.argv[1], 'wb').write(bytes(data))\n";
  const std::string made = Sh("python3 -c \"" + script + "\" '" + archive.string() + "' '" + package.string() + "' '" +
                                  c.folder + "' " + (c.clearUtf8Flag ? "1" : "0"),
                              &status);
  ASSERT_EQ(status, 0) << made;
  const CliRun run = Cli({"drivers", "add", archive.string()});
  if (*c.stored) {
    ASSERT_EQ(run.code, 0) << run.out;
    EXPECT_EQ(Stored().size(), 1u);
    EXPECT_NE(run.out.find(std::string(" > ") + c.stored + "/tstxhc.inf"), std::string::npos) << run.out;
  } else {
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find(c.refusal), std::string::npos) << run.out;
    EXPECT_TRUE(Stored().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Downloads, VendorNames, testing::ValuesIn(kVendorNames),
                         [](const auto& info) { return std::string(info.param.name); });

// Packages that would not serve a run: each refused with its reason, the
// good package beside them still added.
struct FaultCase {
  const char* name;
  PackageSpec spec;
  drivers::RefusalCode expected;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class FaultyPackages : public DriverLibraryTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(FaultyPackages, AreRefusedWithTheirReason) {
  const fs::path folder = work.path() / "download";
  WritePackage(folder / "good", {.name = "goodxhc"});
  WritePackage(folder / "bad", GetParam().spec);
  std::vector<drivers::FoundPackage> found;
  std::vector<drivers::Refusal> refused;
  drivers::ScanFolder(folder.string(), found, refused);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].record.inf, "goodxhc.inf");
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].file, "bad/" + GetParam().spec.name + ".inf");
  EXPECT_EQ(refused[0].code, GetParam().expected) << refused[0].detail;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FaultyPackages,
    testing::Values(FaultCase{"NoCatalog", {.name = "nocat", .catalog = false}, drivers::RefusalCode::NoCatalog},
                    FaultCase{"MissingSys", {.name = "nosys", .writeSys = false}, drivers::RefusalCode::MissingFiles},
                    FaultCase{"NetworkClass", {.name = "netdrv", .cls = "Net"}, drivers::RefusalCode::UnsupportedClass},
                    FaultCase{"ItaniumOnly", {.name = "ia64drv", .archs = {"NTia64"}}, drivers::RefusalCode::NoModels},
                    FaultCase{"NoManufacturer", {.name = "setupinf", .manufacturer = false},
                              drivers::RefusalCode::NotDriverInf}),
    [](const auto& info) { return std::string(info.param.name); });

// USB and the storage classes are taken (by name, without case), with
// their kind; any other class is refused naming it.
TEST_F(DriverLibraryTest, StorageClassesAreTakenAsStorageAndOtherClassesRefusedByName) {
  const struct {
    const char* cls;
    bool taken;
    drivers::PackageKind kind;
  } rows[] = {{"USB", true, drivers::PackageKind::Usb},
              {"SCSIAdapter", true, drivers::PackageKind::Storage},
              {"hdc", true, drivers::PackageKind::Storage},
              {"DiskDrive", false, {}},
              {"Net", false, {}}};
  for (const auto& row : rows) {
    const fs::path folder = work.path() / row.cls;
    WritePackage(folder, {.name = "pkg", .cls = row.cls});
    std::vector<drivers::FoundPackage> found;
    std::vector<drivers::Refusal> refused;
    drivers::ScanFolder(folder.string(), found, refused);
    ASSERT_EQ(found.size(), row.taken ? 1u : 0u) << row.cls;
    if (row.taken) {
      EXPECT_EQ(found[0].record.kind, row.kind) << row.cls;
      drivers::PackageRecord back;
      ASSERT_TRUE(drivers::ParseRecord(drivers::RecordText(found[0].record), back));
      EXPECT_EQ(back.kind, row.kind) << row.cls;
    } else {
      ASSERT_EQ(refused.size(), 1u) << row.cls;
      EXPECT_EQ(refused[0].code, drivers::RefusalCode::UnsupportedClass);
      EXPECT_EQ(refused[0].detail, row.cls);
    }
  }
}

// The name holds 16 hex digits of the package's SHA-256; "already there"
// takes the whole digest in the record: a package whose first digits agree
// but whose digest does not is refused, never taken for the one stored.
TEST_F(DriverLibraryTest, AlreadyThereComparesTheWholeDigest) {
  WritePackage(work.path() / "pkg", {});
  ASSERT_EQ(Cli({"drivers", "add", (work.path() / "pkg").string()}).code, 0);
  ASSERT_EQ(Stored().size(), 1u);
  const fs::path record = Library() / Stored().front() / "record.ini";
  std::string text = ReadAll(record);
  const size_t digest = text.find("digest = \"");
  ASSERT_NE(digest, std::string::npos) << text;
  EXPECT_EQ(text.substr(digest + 10, 16), Stored().front().substr(Stored().front().size() - 16));
  text[digest + 10 + 63] = text[digest + 10 + 63] == '0' ? '1' : '0';
  std::ofstream(record, std::ios::trunc) << text;
  const CliRun again = Cli({"drivers", "add", (work.path() / "pkg").string()});
  EXPECT_EQ(again.code, 1) << again.out;
  EXPECT_NE(again.out.find("Drivers Cannot Write"), std::string::npos) << again.out;
}

// Unpacking folders of runs that died are swept at the next start: only
// private folders of the prefix, owned by this user, whose lock is free,
// emptied by descriptor (a link inside is removed, never followed).
TEST(StaleFolders, OnlyFoldersOfDeadRunsAreSwept) {
  kxtest::TempDir parent;
  const fs::path p = parent.path();
  const std::string prefix = "kestrunex-drivers-";
  fs::create_directories(p / "outside");
  std::ofstream(p / "outside" / "keep.txt") << "x";
  auto make = [&](const std::string& name, fs::perms mode) {
    fs::create_directories(p / name / "sub");
    std::ofstream(p / name / "sub" / "file.sys") << "x";
    fs::create_directory_symlink(p / "outside", p / name / "sub" / "link");
    fs::permissions(p / name, mode);
  };
  make(prefix + "dead", fs::perms::owner_all);
  make(prefix + "live", fs::perms::owner_all);
  make(prefix + "shared", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  make("other-dead", fs::perms::owner_all);
  fs::create_directory_symlink(p / "outside", p / (prefix + "link"));
  const drivers::UniqueFd live = drivers::HoldFolder((p / (prefix + "live")).string());
  ASSERT_TRUE(live);

  EXPECT_EQ(drivers::SweepStaleFolders(p.string(), prefix), 1);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(p)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{prefix + "link", prefix + "live", prefix + "shared", "other-dead", "outside"}));
  EXPECT_TRUE(fs::exists(p / "outside" / "keep.txt"));
}

// A machine's roots file that cannot be read, or holds something other
// than certificates (a name, as older profiles had), stops `drivers add`
// with the file named rather than calling every package unsigned.
TEST_F(DriverLibraryTest, ARootsFileThatCannotBeReadIsAnErrorNamingIt) {
  const fs::path roots = machine.dir().path() / "test-roots";
  WritePackage(work.path() / "pkg", {});
  for (const char* content : {"CN=Kestrunex Test Root,O=Kestrunex tests\n", ""}) {
    if (*content) std::ofstream(roots) << content; else fs::remove(roots);
    const CliRun run = Cli({"drivers", "add", (work.path() / "pkg").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("Drivers Roots Unreadable " + roots.string()), std::string::npos) << run.out;
    EXPECT_TRUE(Stored().empty());
  }
}

// A file changed after its catalog was signed: refused for amd64 with the
// file named, unless --unsigned (then recorded and listed); a warning only
// for an x86 package.
TEST_F(DriverLibraryTest, AFileThatDoesNotMatchItsCatalogRefusesAmd64AndWarnsForX86) {
  for (const char* arch : {"NTamd64", "NTx86"}) {
    const fs::path dir = work.path() / arch;
    WritePackage(dir, {.name = "tstxhc", .archs = {arch}});
    std::ofstream(dir / "tstxhc.sys", std::ios::app) << "changed after signing";
  }
  const CliRun refused = Cli({"drivers", "add", (work.path() / "NTamd64").string()});
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.out.find("amd64: tstxhc.sys Drivers File Mismatch"), std::string::npos) << refused.out;
  EXPECT_TRUE(Stored().empty()) << refused.out;

  const CliRun forced = Cli({"drivers", "add", "--unsigned", (work.path() / "NTamd64").string()});
  ASSERT_EQ(forced.code, 0) << forced.out;
  ASSERT_EQ(Stored().size(), 1u);
  EXPECT_NE(ReadAll(Library() / Stored().front() / "record.ini").find("unsigned = \"yes\""), std::string::npos);

  const CliRun x86 = Cli({"drivers", "add", (work.path() / "NTx86").string()});
  EXPECT_EQ(x86.code, 0) << x86.out;
  EXPECT_NE(x86.out.find("Drivers Warning"), std::string::npos) << x86.out;
  EXPECT_EQ(Stored().size(), 2u) << x86.out;
  const CliRun list = Cli({"drivers", "list"});
  // Untranslated texts here: the keys stand in for them.
  EXPECT_NE(list.out.find("Drivers Not Signed For Windows (Drivers Proof Whql), Drivers Signed By CN=Kestrunex Test "
                          "Root Signer,O=Kestrunex tests (Drivers Added Unsigned)"),
            std::string::npos)
      << list.out;
}

TEST_F(DriverLibraryTest, InstallersOnlyTheirOwnUnpackerReadsAreRecognised) {
  const fs::path inno = work.path() / "setup.exe";
  std::ofstream(inno, std::ios::binary) << "MZ" << std::string(200, '\0') << "Inno Setup Setup Data (6.2.0)";
  const fs::path shield = work.path() / "shield.exe";
  std::ofstream(shield, std::ios::binary) << "MZ" << std::string(200, '\0') << "InstallShield";
  EXPECT_EQ(drivers::ClassifyInput(inno.string()), drivers::InputKind::InnoSetup);
  EXPECT_EQ(drivers::ClassifyInput(shield.string()), drivers::InputKind::InstallShield);
  fs::create_symlink(inno, work.path() / "link.exe");
  EXPECT_EQ(drivers::ClassifyInput((work.path() / "link.exe").string()), drivers::InputKind::Unreadable);
  const CliRun run = Cli({"drivers", "add", inno.string()});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.out.find(platform::AnsiFromWide(Translate(L"Drivers Inno"))), std::string::npos) << run.out;
}

// A folder whose package file is a link (to a file only root may read): the
// library would store what it points at. Refused; nothing stored.
TEST_F(DriverLibraryTest, AFolderHoldingALinkIsRefused) {
  const fs::path folder = work.path() / "download";
  WritePackage(folder, {.name = "linked", .writeSys = false});
  fs::create_symlink("/etc/shadow", folder / "linked.sys");
  const CliRun run = Cli({"drivers", "add", folder.string()});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.out.find(platform::AnsiFromWide(Translate(L"Drivers Link"))), std::string::npos) << run.out;
  EXPECT_TRUE(Stored().empty());
}

// The run's OS folder: the program's OS folder, then each package for the
// source's architecture under its vendor's folder; other vendors in Others;
// samples only where the machine lets them count.
TEST_F(DriverLibraryTest, TheRunsOsFolderPlacesPackagesByVendorAndArchitecture) {
  const fs::path program = work.path() / "programOS";
  std::ofstream((fs::create_directories(program / "AutoUnattend/Asmedia"), program / "AutoUnattend.xml")) << "<x/>";
  struct Row {
    PackageSpec spec;
    bool sample;
  };
  const std::vector<Row> rows = {{{.name = "intelx", .vendor = "8086"}, false},
                                 {{.name = "amdx", .vendor = "1022", .archs = {"NTx86"}}, false},
                                 {{.name = "asmx", .vendor = "1B21"}, false},
                                 {{.name = "renx", .vendor = "1912"}, false},
                                 {{.name = "samplex", .vendor = "8086"}, true}};
  for (bool samplesCount : {false, true}) {
    drivers::DriverLibrary library({.folder = (work.path() / "lib").string(), .system = false, .samplesCount = samplesCount});
    for (const Row& row : rows) {
      WritePackage(work.path() / "src" / row.spec.name, row.spec);
      std::vector<drivers::FoundPackage> found;
      std::vector<drivers::Refusal> refused;
      drivers::ScanFolder((work.path() / "src" / row.spec.name).string(), found, refused);
      ASSERT_EQ(found.size(), 1u);
      std::string error;
      ASSERT_NE(library.Add(found[0], "test", row.sample, error), drivers::AddOutcome::Failed) << error;
    }
    const fs::path target = work.path() / "run" / "OS";
    std::string error;
    ASSERT_TRUE(drivers::MaterialiseRunOsFolder(program.string(), library, true, target.string(), error)) << error;
    std::vector<std::string> infs;
    for (const auto& e : fs::recursive_directory_iterator(target))
      if (e.path().extension() == ".inf") {
        const std::string rel = fs::relative(e.path(), target).string();
        infs.push_back(rel.substr(0, rel.find('_')) + "/" + e.path().filename().string());
      }
    std::sort(infs.begin(), infs.end());
    std::vector<std::string> expected = {"AutoUnattend/Asmedia/asmx/asmx.inf", "AutoUnattend/Intel/Win7/x64/intelx/intelx.inf",
                                         "AutoUnattend/Others/renx/renx.inf"};
    if (samplesCount) expected.push_back("AutoUnattend/Intel/Win7/x64/samplex/samplex.inf");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(infs, expected) << samplesCount;
    EXPECT_EQ(ReadAll(target / "AutoUnattend.xml"), "<x/>");
    EXPECT_EQ(library.ForArch("x86").size(), samplesCount ? 5u : 4u);
    drivers::RemoveTree((work.path() / "lib").string());
  }
}

}  // namespace
