#include "platform/dism/driverpackage.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <filesystem>
#include <fstream>

#include "platform/text.h"
#include "samplewim.h"
#include "testmachine.h"

namespace fs = std::filesystem;
using namespace platform::dism;

namespace {

class DriverPackageTest : public testing::Test {
 protected:
  kxtest::TestMachine machine;
  fs::path Drivers() const { return machine.Root('C') / "drv"; }
  static std::wstring System(std::string relative) {
    std::replace(relative.begin(), relative.end(), '/', '\\');
    return L"C:\\drv\\" + platform::WideFromAnsi(relative);
  }
  platform::HRESULT Load(const std::string& relative, ImageArch arch, DriverPackage& out, std::wstring& message,
               OsVersion version = {}) {
    return LoadDriverPackage(System(relative), arch, version, out, message);
  }
  void WriteText(const std::string& relative, const std::string& text) {
    fs::create_directories((Drivers() / relative).parent_path());
    std::ofstream(Drivers() / relative, std::ios::binary) << text;
  }
};

std::string Narrow(const std::wstring& w) { return platform::AnsiFromWide(w); }

}  // namespace

TEST_F(DriverPackageTest, AcceptsAPackageAndListsTheInfCatalogAndSourceFiles) {
  kxdism::WriteDriver(Drivers() / "a", {});
  DriverPackage package;
  std::wstring message;
  ASSERT_EQ(Load("a/sample.inf", ImageArch::Amd64, package, message), platform::S_OK) << Narrow(message);
  ASSERT_EQ(package.files.size(), 3u);
  EXPECT_EQ(package.files[0].relative, L"sample.inf");
  EXPECT_EQ(package.hash.size(), 16u);
  EXPECT_EQ(package.StoreFolderName(ImageArch::Amd64), L"sample.inf_amd64_neutral_" + platform::WideFromAnsi(package.hash));
}

TEST_F(DriverPackageTest, HashFollowsThePackageContent) {
  kxdism::WriteDriver(Drivers() / "a", {});
  kxdism::WriteDriver(Drivers() / "b", {});
  DriverPackage a, b;
  std::wstring message;
  ASSERT_EQ(Load("a/sample.inf", ImageArch::Amd64, a, message), platform::S_OK);
  ASSERT_EQ(Load("b/sample.inf", ImageArch::Amd64, b, message), platform::S_OK);
  EXPECT_EQ(a.hash, b.hash);
  WriteText("b/sample.sys", "another build");
  ASSERT_EQ(Load("b/sample.inf", ImageArch::Amd64, b, message), platform::S_OK);
  EXPECT_NE(a.hash, b.hash);
}

TEST_F(DriverPackageTest, ReadsUtf16FilesAndDecoratedSourceSectionsWithDiskFolders) {
  std::string text =
      "[Version]\r\nSignature=\"$Chicago$\"\r\n[SourceDisksNames]\r\n1=d,,,\\x64\r\n2=d,,,\\x86\r\n"
      "[SourceDisksFiles.amd64]\r\nDRV.SYS=1,sub\r\n[SourceDisksFiles.x86]\r\ndrv.sys=2\r\n"
      "[Manufacturer]\r\nM=Models,NTamd64,NTx86\r\n[Models.NTamd64]\r\nd=Install,ID\r\n[Models.NTx86]\r\n"
      "d=Install,ID\r\n[Install.NTamd64]\r\n[Install]\r\n";
  std::string utf16 = "\xff\xfe";
  for (char c : text) utf16 += std::string{c, '\0'};
  WriteText("pkg/Drv.INF", utf16);
  WriteText("pkg/x64/sub/drv.sys", "64");
  WriteText("pkg/x86/drv.sys", "32");
  DriverPackage package;
  std::wstring message;
  ASSERT_EQ(Load("pkg/Drv.INF", ImageArch::Amd64, package, message), platform::S_OK) << Narrow(message);
  ASSERT_EQ(package.files.size(), 2u);
  EXPECT_EQ(package.infName, L"drv.inf");
  EXPECT_EQ(package.files[1].relative, L"x64\\sub\\DRV.SYS");
  ASSERT_EQ(Load("pkg/Drv.INF", ImageArch::X86, package, message), platform::S_OK) << Narrow(message);
  EXPECT_EQ(package.files[1].relative, L"x86\\drv.sys");
}

TEST_F(DriverPackageTest, RejectsFilesThatAreNotDriverInfs) {
  WriteText("nosig.inf", "[Version]\r\nSignature=\"$Other$\"\r\n[Manufacturer]\r\nM=Models\r\n");
  WriteText("nomfg.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n[DefaultInstall]\r\n");
  WriteText("binary.inf", std::string("MZ\x90\0\3\0\0\0", 8));
  DriverPackage package;
  std::wstring message;
  EXPECT_EQ(Load("nosig.inf", ImageArch::Amd64, package, message), platform::SPAPI_E_WRONG_INF_STYLE);
  EXPECT_NE(message.find(L"C:\\drv\\nosig.inf"), std::wstring::npos);
  EXPECT_NE(message.find(L"signature"), std::wstring::npos);
  EXPECT_EQ(Load("nomfg.inf", ImageArch::Amd64, package, message), platform::SPAPI_E_WRONG_INF_STYLE);
  EXPECT_NE(message.find(L"[Manufacturer]"), std::wstring::npos);
  EXPECT_EQ(Load("binary.inf", ImageArch::Amd64, package, message), platform::SPAPI_E_GENERAL_SYNTAX);
  EXPECT_EQ(Load("missing.inf", ImageArch::Amd64, package, message), platform::HResultFromWin32(2));
}

TEST_F(DriverPackageTest, RejectsAPackageWithoutModelsForTheImage) {
  kxdism::WriteDriver(Drivers() / "x86only", {.decorations = "NTx86"});
  kxdism::WriteDriver(Drivers() / "future", {.decorations = "NTamd64.10.0"});
  kxdism::WriteDriver(Drivers() / "win7", {.decorations = "NTamd64.6.1"});
  DriverPackage package;
  std::wstring message;
  EXPECT_EQ(Load("x86only/sample.inf", ImageArch::Amd64, package, message), platform::SPAPI_E_NO_COMPATIBLE_MODELS);
  EXPECT_NE(message.find(L"amd64"), std::wstring::npos);
  EXPECT_EQ(Load("x86only/sample.inf", ImageArch::X86, package, message), platform::S_OK);
  EXPECT_EQ(Load("future/sample.inf", ImageArch::Amd64, package, message), platform::SPAPI_E_NO_COMPATIBLE_MODELS);
  EXPECT_EQ(Load("win7/sample.inf", ImageArch::Amd64, package, message), platform::S_OK);
  // An undecorated models section serves 32-bit images only.
  WriteText("plain.inf", "[Version]\nSignature=$Windows NT$\n[Manufacturer]\nM=Models\n[Models]\nd=I,ID\n[I]\n");
  EXPECT_EQ(Load("plain.inf", ImageArch::Amd64, package, message), platform::SPAPI_E_NO_COMPATIBLE_MODELS);
  EXPECT_EQ(Load("plain.inf", ImageArch::X86, package, message), platform::S_OK);
}

TEST_F(DriverPackageTest, RejectsMissingListedFilesAndPathsLeavingThePackage) {
  kxdism::WriteDriver(Drivers() / "nosys", {.writeSys = false});
  DriverPackage package;
  std::wstring message;
  EXPECT_EQ(Load("nosys/sample.inf", ImageArch::Amd64, package, message), platform::HResultFromWin32(2));
  EXPECT_NE(message.find(L"sample.sys"), std::wstring::npos);
  EXPECT_NE(message.find(L"C:\\drv\\nosys\\sample.inf"), std::wstring::npos);
  WriteText("escape/e.inf",
            "[Version]\nSignature=$Windows NT$\n[SourceDisksFiles]\n..\\..\\secret=1\n[Manufacturer]\nM=Models,NTamd64\n"
            "[Models.NTamd64]\nd=I,ID\n[I]\n");
  EXPECT_EQ(Load("escape/e.inf", ImageArch::Amd64, package, message), platform::SPAPI_E_GENERAL_SYNTAX);
  WriteText("noinstall.inf",
            "[Version]\nSignature=$Windows NT$\n[Manufacturer]\nM=Models,NTamd64\n[Models.NTamd64]\nd=Gone,ID\n");
  EXPECT_EQ(Load("noinstall.inf", ImageArch::Amd64, package, message), platform::SPAPI_E_GENERAL_SYNTAX);
  EXPECT_NE(message.find(L"[Gone]"), std::wstring::npos);
}

TEST_F(DriverPackageTest, TheShippedDriverSetIsAcceptedForItsArchitecture) {
  const fs::path shipped = fs::path(KX_SOURCE_DIR) / "samples" / "drivers";
  ASSERT_TRUE(fs::exists(shipped));
  fs::copy(shipped, Drivers(), fs::copy_options::recursive);
  int checked = 0;
  for (const auto& entry : fs::recursive_directory_iterator(Drivers())) {
    std::string ext = entry.path().extension().string();
    if (ext != ".inf" && ext != ".INF") continue;
    std::string relative = fs::relative(entry.path(), Drivers()).generic_string();
    bool x86 = relative.find("/x86") != std::string::npos;
    bool x64 = relative.find("/x64") != std::string::npos;
    DriverPackage package;
    std::wstring message;
    if (!x86) {
      EXPECT_EQ(Load(relative, ImageArch::Amd64, package, message), platform::S_OK) << relative << Narrow(message);
    }
    if (!x64) {
      EXPECT_EQ(Load(relative, ImageArch::X86, package, message), platform::S_OK) << relative << Narrow(message);
    } else {
      EXPECT_EQ(Load(relative, ImageArch::X86, package, message), platform::SPAPI_E_NO_COMPATIBLE_MODELS);
    }
    ++checked;
  }
  EXPECT_GE(checked, 14);
}

// Outside files that cannot be read end in an error naming the file and the
// reason, never in an exception; a name no file may have is refused as such.
struct UnreadableCase {
  const char* label;
  std::function<void(const fs::path& package)> spoil;  // makes sample.sys unreadable
  platform::HRESULT expected;
  const wchar_t* reason;
};

class DriverPackageUnreadable : public DriverPackageTest, public testing::WithParamInterface<UnreadableCase> {};

TEST_P(DriverPackageUnreadable, ListedFileFailsWithItsNameAndReason) {
  const fs::path package = Drivers() / "p";
  kxdism::WriteDriver(package, {});
  fs::remove(package / "sample.sys");
  GetParam().spoil(package / "sample.sys");
  DriverPackage out;
  std::wstring message;
  EXPECT_EQ(Load("p/sample.inf", ImageArch::Amd64, out, message), GetParam().expected) << Narrow(message);
  EXPECT_NE(message.find(L"sample.sys"), std::wstring::npos) << Narrow(message);
  EXPECT_NE(message.find(GetParam().reason), std::wstring::npos) << Narrow(message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverPackageUnreadable,
    testing::Values(
        UnreadableCase{"Folder", [](const fs::path& p) { fs::create_directory(p); },
                       platform::HResultFromWin32(platform::ERROR_DIRECTORY_NOT_SUPPORTED), L"is a folder"},
        UnreadableCase{"IoError", [](const fs::path& p) { fs::create_symlink("/proc/self/mem", p); },
                       platform::HResultFromWin32(platform::ERROR_READ_FAULT), L"medium failed"},
        UnreadableCase{"Device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
                       platform::HResultFromWin32(platform::ERROR_BAD_FILE_TYPE), L"not a file"},
        UnreadableCase{"Fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
                       platform::HResultFromWin32(platform::ERROR_BAD_FILE_TYPE), L"not a file"}),
    [](const testing::TestParamInfo<UnreadableCase>& info) { return std::string(info.param.label); });

TEST_F(DriverPackageTest, AnInfThatIsAFolderOrHasANulInAListedNameIsRefusedWithTheReason) {
  fs::create_directories(Drivers() / "folder.inf");
  DriverPackage package;
  std::wstring message;
  EXPECT_EQ(Load("folder.inf", ImageArch::Amd64, package, message),
            platform::HResultFromWin32(platform::ERROR_DIRECTORY_NOT_SUPPORTED));
  EXPECT_NE(message.find(L"C:\\drv\\folder.inf"), std::wstring::npos);
  EXPECT_NE(message.find(L"is a folder"), std::wstring::npos) << Narrow(message);

  // "sample.sys<NUL>.evil" must not shorten to the existing sample.sys.
  kxdism::WriteDriver(Drivers() / "nul", {});
  constexpr char kText[] =
      "[Version]\r\nSignature=\"$Windows NT$\"\r\n[SourceDisksFiles]\r\nsample.sys\0.evil=1\r\n"
      "[Manufacturer]\r\nM=Models,NTamd64\r\n[Models.NTamd64]\r\nd=I,ID\r\n[I]\r\n";
  std::string utf16 = "\xff\xfe";
  for (char c : std::string_view(kText, sizeof kText - 1)) utf16 += std::string{c, '\0'};
  WriteText("nul/nul.inf", utf16);
  EXPECT_EQ(Load("nul/nul.inf", ImageArch::Amd64, package, message),
            platform::HResultFromWin32(platform::ERROR_INVALID_NAME));
  EXPECT_NE(message.find(L"sample.sys\\x00.evil"), std::wstring::npos) << Narrow(message);
  EXPECT_NE(message.find(L"line 4"), std::wstring::npos) << Narrow(message);
}

TEST_F(DriverPackageTest, UndecoratedModelsServeX86WhenNoDecorationApplies) {
  // %M%=Models,NTamd64 with a plain [Models]: the plain section is the x86 one.
  WriteText("fb/fb.inf",
            "[Version]\nSignature=$Windows NT$\n[Manufacturer]\nM=Models,NTamd64\n[Models]\nd=I,PCI\\VEN_1\n"
            "[Models.NTamd64]\nd=I,PCI\\VEN_2\n[I]\n");
  DriverPackage package;
  std::wstring message;
  ASSERT_EQ(Load("fb/fb.inf", ImageArch::X86, package, message), platform::S_OK) << Narrow(message);
  EXPECT_EQ(package.modelSections, std::vector<std::wstring>{L"Models"});
  ASSERT_EQ(Load("fb/fb.inf", ImageArch::Amd64, package, message), platform::S_OK);
  EXPECT_EQ(package.modelSections, std::vector<std::wstring>{L"Models.NTamd64"});
  // Only a decoration for another architecture and no plain section: refused for 64-bit.
  WriteText("fb2/fb2.inf",
            "[Version]\nSignature=$Windows NT$\n[Manufacturer]\nM=Models,NTx86\n[Models]\nd=I,PCI\\VEN_1\n[I]\n");
  EXPECT_EQ(Load("fb2/fb2.inf", ImageArch::Amd64, package, message), platform::SPAPI_E_NO_COMPATIBLE_MODELS);
  // The best decoration wins: the architecture named and the highest version that applies.
  WriteText("best/best.inf",
            "[Version]\nSignature=$Windows NT$\n[Manufacturer]\nM=Models,NT,NTx86,NTx86.6.1,NTx86.6.2\n"
            "[Models.NT]\nd=I,A\n[Models.NTx86]\nd=I,B\n[Models.NTx86.6.1]\nd=I,C\n[Models.NTx86.6.2]\nd=I,D\n[I]\n");
  ASSERT_EQ(Load("best/best.inf", ImageArch::X86, package, message), platform::S_OK);
  EXPECT_EQ(package.modelSections, std::vector<std::wstring>{L"Models.NTx86.6.1"});
}
