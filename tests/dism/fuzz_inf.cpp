// Driver INF files and the packages they describe: the parser, the package
// check (listed files, models, names) and the installation plan, for both
// architectures. Each input is the INF of a package whose folder also holds
// the files the seeds list, on a machine of the harness's own.
#include <filesystem>
#include <fstream>
#include <memory>

#include "kxfuzz.h"
#include "platform/dism/driverinstall.h"
#include "platform/dism/driverpackage.h"
#include "platform/fs/ini.h"
#include "testmachine.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::dism;

const std::string kClassic =
    "; sample\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=USB\r\n"
    "ClassGUID={36FC9E60-C465-11CF-8056-444553540000}\r\nProvider=%P%\r\nCatalogFile=d.cat\r\n"
    "[SourceDisksNames]\r\n1=%Disk%,,,\\x64\r\n2=%Disk%,,,\\x86\r\n"
    "[SourceDisksFiles.amd64]\r\nd.sys=1\r\n[SourceDisksFiles.x86]\r\nd.sys=2\r\n"
    "[DestinationDirs]\r\nDefaultDestDir=12\r\nFiles=12,sub\r\n"
    "[Manufacturer]\r\n%P%=Models,NTamd64,NTx86.6.1\r\n"
    "[Models.NTamd64]\r\n%D%=Inst,PCI\\VEN_1&DEV_2,PCI\\CC_0C0330\r\n[Models.NTx86.6.1]\r\n%D%=Inst,PCI\\VEN_1&DEV_2\r\n"
    "[Inst.NT]\r\nCopyFiles=Files,@d.sys\r\nAddReg=DevReg\r\n[Inst.NT.Services]\r\nAddService=dx,0x2,Svc,Log\r\n"
    "[Svc]\r\nDisplayName=%D%\r\nServiceType=1\r\nStartType=3\r\nErrorControl=1\r\nServiceBinary=%12%\\d.sys\r\n"
    "LoadOrderGroup=Base\r\nDependencies=usbhub,+Base\r\nAddReg=SvcReg\r\n"
    "[SvcReg]\r\nHKR,Parameters,Level,0x00010001,3\r\nHKR,,Bin,1,de,ad\r\nHKR,,Multi,0x10000,\"a\",\"b\"\r\n"
    "HKLM,System\\CurrentControlSet\\Control\\X,,0x10\r\n[DevReg]\r\nHKR,,Cfg,,\"v\"\r\n"
    "[Files]\r\nd.sys\r\n[Strings]\r\nP=\"Maker\"\r\nD=\"Device \"\"quoted\"\"\"\r\nDisk=\"Disk 1\"\r\n";

const std::string kFallback =
    "[Version]\nSignature=$Chicago$\n[SourceDisksFiles]\nd.sys=1,x86\n[Manufacturer]\nM=Models,NTamd64\n"
    "[Models]\nd=I,USB\\ROOT_HUB30\n[I]\nCopyFiles=@d.sys\n[I.Services]\nAddService=h,2,S\n"
    "[S]\nServiceType=1\nStartType=0x3\nErrorControl=1\nServiceBinary=%11%\\d.sys\n";

// One machine for the whole run: C:\pkg holds the package's other files.
class Package {
 public:
  Package() {
    const fs::path root = machine_.Root('C') / "pkg";
    for (const char* sub : {"", "x64", "x86"}) {
      fs::create_directories(root / sub);
      std::ofstream(root / sub / "d.sys", std::ios::binary) << "driver";
    }
    std::ofstream(root / "d.cat", std::ios::binary) << "catalog";
    fs::create_directories(root / "folder.sys");
    inf_ = root / "d.inf";
  }
  void Check(const std::string& text) {
    std::ofstream(inf_, std::ios::binary | std::ios::trunc) << text;
    for (ImageArch arch : {ImageArch::Amd64, ImageArch::X86}) {
      DriverPackage package;
      std::wstring message;
      const platform::HRESULT hr = LoadDriverPackage(L"C:\\pkg\\d.inf", arch, {}, package, message);
      if (platform::Failed(hr)) {
        KX_FUZZ_CHECK(!message.empty());
        continue;
      }
      KX_FUZZ_CHECK(!package.files.empty() && package.hash.size() == 16);
      DriverInstall plan;
      if (platform::Failed(PlanDriverInstall(package, L"C:\\pkg\\d.inf", arch, plan, message))) continue;
      for (const auto& file : plan.files) {
        KX_FUZZ_CHECK(file.target.find("..") == std::string::npos);
        KX_FUZZ_CHECK(file.target.find('\0') == std::string::npos);
      }
      for (const auto& binding : plan.bindings) KX_FUZZ_CHECK(CriticalDeviceKey(binding.id).find('\\') == std::string::npos);
    }
  }

 private:
  kxtest::TestMachine machine_;
  fs::path inf_;
};

}  // namespace

KX_FUZZ_TARGET {
  const std::string bytes = kxfuzz::Bytes(data, size);
  InfFile inf;
  std::wstring error;
  if (InfFile::Parse(platform::DecodeTextFile(bytes), inf, error)) {
    for (const auto& section : inf.Sections()) {
      KX_FUZZ_CHECK(inf.Section(section.name) != nullptr);
      for (const auto& line : section.lines) KX_FUZZ_CHECK(line.line >= section.line);
    }
  } else {
    KX_FUZZ_CHECK(error.rfind(L"line ", 0) == 0);
  }
  static Package package;
  package.Check(bytes);
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back(kClassic);
  seeds.push_back(kFallback);
  std::string utf16("\xFF\xFE", 2);
  for (char c : kFallback) utf16 += std::string{c, '\0'};
  seeds.push_back(utf16);
  // Names that must be refused: a folder, a NUL, a way out of the package.
  seeds.push_back(kFallback + "[SourceDisksFiles.x86]\nfolder.sys=1\n");
  constexpr char kBadNames[] = "[SourceDisksFiles.amd64]\nd.sys\0x=1\n..\\..\\e=1\n";
  seeds.push_back(kFallback + std::string(kBadNames, sizeof kBadNames - 1));
}
