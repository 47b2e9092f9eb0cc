// Drivers installed offline: what the image's SYSTEM hive and driver folders
// hold after the driver step, as two independent registry readers
// (hivexregedit and reglookup) and wimlib-imagex see them.

#include <algorithm>
#include <map>
#include <regex>

#include "dismapifixture.h"
#include "casename.h"

using namespace kxdism;

namespace {

// What an INF of the shipped set says, read here with plain patterns rather
// than with the parser under test.
struct ExpectedDriver {
  std::string service;
  std::string binary;  // file name below System32\drivers
  std::vector<std::string> ids;
};

ExpectedDriver Expect(const fs::path& inf) {
  std::ifstream in(inf, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  if (text.rfind("\xff\xfe", 0) == 0) {  // UTF-16 of plain ASCII: every other byte
    std::string narrow;
    for (size_t i = 2; i < text.size(); i += 2) narrow += text[i];
    text = narrow;
  }
  ExpectedDriver e;
  std::smatch m;
  if (std::regex_search(text, m, std::regex(R"(AddService\s*=\s*([^,\s]+))"))) e.service = m[1];
  if (std::regex_search(text, m, std::regex(R"(ServiceBinary\s*=\s*%12%\\(\S+))"))) e.binary = m[1];
  const std::regex id(R"(=\s*Driver_Install\s*,\s*(\S+))");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), id); it != std::sregex_iterator(); ++it)
    if (std::find(e.ids.begin(), e.ids.end(), (*it)[1].str()) == e.ids.end()) e.ids.push_back((*it)[1]);
  return e;
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string DeviceKey(const std::string& id) {
  std::string key = Lower(id);
  std::replace(key.begin(), key.end(), '\\', '#');
  return key;
}

class DriverRegistrationTest : public DismApiTest {
 protected:
  // Extracts one file of image 2 into C:\out and returns its host path.
  fs::path Extract(const std::string& inImage) {
    fs::remove_all(Host("out"));
    fs::create_directories(Host("out"));
    int status = -1;
    kxdism::Run("WIMLIB_IMAGEX_IGNORE_CASE=1 wimlib-imagex extract '" + Host("work/boot.wim").string() + "' 2 '" + inImage + "' --dest-dir='" +
                    Host("out").string() + "' --no-acls >/dev/null 2>&1",
                &status);
    EXPECT_EQ(status, 0) << inImage;
    // The extracted name keeps the image's spelling.
    for (const auto& entry : fs::directory_iterator(Host("out"))) return entry.path();
    return Host("out") / fs::path(inImage).filename();
  }
  std::string Reglookup() { return kxdism::Run("reglookup '" + Extract("/Windows/System32/config/SYSTEM").string() + "'"); }
  std::string HivexExport(const std::string& key) {
    return kxdism::Run("hivexregedit --export --unsafe-printable-strings '" +
                       Extract("/Windows/System32/config/SYSTEM").string() + "' '" + key + "' 2>&1");
  }
  // Mounts image 2, adds the INFs, commits and unmounts; the first failing add's result.
  HRESULT Service(const std::vector<std::wstring>& infs) {
    fs::remove_all(Host("mnt/m"));
    if (HRESULT hr = Mount(2, "m"); Failed(hr)) return hr;
    DismSession session = Open("m");
    HRESULT result = S_OK;
    for (const auto& inf : infs)
      if (HRESULT hr = DismAddDriver(session, inf.c_str(), 1); Failed(hr) && !Failed(result)) result = hr;
    EXPECT_EQ(DismCommitImage(session, 0, nullptr, nullptr, nullptr), S_OK) << Narrow(LastError());
    EXPECT_EQ(DismCloseSession(session), S_OK);
    EXPECT_EQ(DismUnmountImage(L"C:\\mnt\\m", DISM_COMMIT_IMAGE, nullptr, nullptr, nullptr), S_OK);
    return result;
  }
};

class ShippedDriverRegistration : public DriverRegistrationTest, public testing::WithParamInterface<std::string> {};

}  // namespace

TEST_P(ShippedDriverRegistration, EveryServiceAndHardwareIdIsInTheHiveAndEveryBinaryInItsFolder) {
  const std::string arch = GetParam();
  kxdism::BuildWim(Host("work/boot.wim"), {{.name = "PE", .arch = arch}, {.name = "Setup", .arch = arch}});
  const fs::path shipped = fs::path(KX_SOURCE_DIR) / "samples" / "drivers";
  fs::copy(shipped, Host("drv"), fs::copy_options::recursive);
  const std::string flavour = arch == "x86" ? "x86" : "x64";
  std::vector<std::wstring> infs;
  std::vector<fs::path> hosts;
  for (const std::string& folder : {"Intel/USB31/" + flavour, "Intel/Win7/" + flavour, "AMD/" + flavour, std::string("Asmedia")})
    for (const auto& entry : fs::recursive_directory_iterator(Host("drv") / folder))
      if (Lower(entry.path().extension().string()) == ".inf") {
        std::string relative = fs::relative(entry.path(), Host("drv")).string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        infs.push_back(L"C:\\drv\\" + WideFromAnsi(relative));
        hosts.push_back(entry.path());
      }
  ASSERT_GE(infs.size(), 6u);
  ASSERT_EQ(Service(infs), S_OK) << Narrow(LastError());

  const std::string regs = Reglookup();
  const std::string services = HivexExport("\\ControlSet001\\Services");
  const std::string devices = HivexExport("\\ControlSet001\\Control\\CriticalDeviceDatabase");
  // Two packages may install the same service (and binary): the later one wins.
  std::map<std::string, ExpectedDriver> byService;
  std::map<std::string, std::string> binaries;  // lower-case name -> bytes of the last package's file
  for (const auto& inf : hosts) {
    const ExpectedDriver e = Expect(inf);
    ASSERT_FALSE(e.service.empty()) << inf;
    byService[e.service] = e;
    for (const auto& candidate : fs::recursive_directory_iterator(inf.parent_path()))
      if (EqualsNoCase(candidate.path().filename().string(), e.binary) &&
          candidate.path().parent_path().filename() != (arch == "x86" ? "x64" : "x86")) {
        std::ifstream b(candidate.path(), std::ios::binary);
        binaries[Lower(e.binary)] = std::string((std::istreambuf_iterator<char>(b)), {});
      }
    for (const auto& id : e.ids) {
      const std::string device = "/ControlSet001/Control/CriticalDeviceDatabase/" + DeviceKey(id);
      EXPECT_NE(regs.find(device + "/Service,SZ," + e.service + ","), std::string::npos) << device;
      EXPECT_NE(regs.find(device + "/ClassGUID,SZ," + std::string(kUsbClassGuid) + ","), std::string::npos) << device;
      EXPECT_NE(devices.find("[\\ControlSet001\\Control\\CriticalDeviceDatabase\\" + DeviceKey(id) +
                             "]\n\"ClassGUID\"=str(1):\"" + kUsbClassGuid + "\"\n\"Service\"=str(1):\"" + e.service +
                             "\""),
                std::string::npos)
          << id << "\n" << devices;
    }
  }
  for (const auto& [service, e] : byService) {
    const std::string key = "/ControlSet001/Services/" + service;
    EXPECT_NE(regs.find(key + "/Type,DWORD,0x00000001,"), std::string::npos) << key << "\n" << regs;
    EXPECT_NE(regs.find(key + "/Start,DWORD,0x00000003,"), std::string::npos) << key;
    EXPECT_NE(regs.find(key + "/ErrorControl,DWORD,0x00000001,"), std::string::npos) << key;
    EXPECT_NE(regs.find(key + "/ImagePath,EXPAND_SZ,\\SystemRoot\\System32\\drivers\\" + e.binary + ","),
              std::string::npos)
        << key << "\n" << regs;
    EXPECT_NE(services.find("[\\ControlSet001\\Services\\" + service + "]\n\"DisplayName\"=str(1):\"Sample"),
              std::string::npos)
        << service << "\n" << services;
  }
  // Each binary of the image's architecture at its destination, as shipped.
  for (const auto& [name, bytes] : binaries) {
    std::ifstream a(Extract("/Windows/System32/drivers/" + name), std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(a)), {}), bytes) << name;
  }

  // The same packages again: the same keys and values. (Two of them name
  // the same services, so the hive is written again on the way.)
  ASSERT_EQ(Service(infs), S_OK) << Narrow(LastError());
  EXPECT_EQ(Reglookup(), regs);
  int status = -1;
  kxdism::Run("wimlib-imagex verify '" + Host("work/boot.wim").string() + "' >/dev/null 2>&1", &status);
  EXPECT_EQ(status, 0);
}

INSTANTIATE_TEST_SUITE_P(Architectures, ShippedDriverRegistration, testing::Values("amd64", "x86"),
                         kxtest::ByText());

TEST_F(DriverRegistrationTest, TheControlSetThatSelectNamesTakesTheRegistration) {
  kxdism::BuildWim(Host("work/boot.wim"), {{.name = "PE"}, {.name = "Setup", .controlSet = 2}});
  ASSERT_EQ(Service({Driver("usbx")}), S_OK) << Narrow(LastError());
  const std::string regs = Reglookup();
  EXPECT_NE(regs.find("/ControlSet002/Services/usbx/ImagePath,EXPAND_SZ,\\SystemRoot\\System32\\drivers\\usbx.sys,"),
            std::string::npos)
      << regs;
  EXPECT_NE(regs.find("/ControlSet002/Control/CriticalDeviceDatabase/pci#ven_1234&dev_usbx/Service,SZ,usbx,"),
            std::string::npos);
  EXPECT_EQ(regs.find("/ControlSet001/"), std::string::npos);
  // The same package again changes nothing: the WIM is not even written.
  const auto size = fs::file_size(Host("work/boot.wim"));
  ASSERT_EQ(Service({Driver("usbx")}), S_OK) << Narrow(LastError());
  EXPECT_EQ(fs::file_size(Host("work/boot.wim")), size);
  EXPECT_EQ(Reglookup(), regs);
}

struct BadHive {
  const char* label;
  Hive hive;
  HRESULT expected;
  const wchar_t* reason;
};

class DriverRegistrationBadHive : public DriverRegistrationTest, public testing::WithParamInterface<BadHive> {};

TEST_P(DriverRegistrationBadHive, FailsTheFirstAddNamingTheImageAndChangesNothing) {
  kxdism::BuildWim(Host("work/boot.wim"), {{.name = "PE"}, {.name = "Setup", .hive = GetParam().hive}});
  const std::string before = DetailedListing(Host("work/boot.wim"), 2);
  const auto size = fs::file_size(Host("work/boot.wim"));
  ASSERT_EQ(Mount(2, "m"), S_OK);
  DismSession session = Open("m");
  EXPECT_EQ(DismAddDriver(session, Driver("usbx").c_str(), 1), GetParam().expected);
  const std::wstring text = LastError();
  EXPECT_NE(text.find(L"image 2 of 'C:\\work\\boot.wim'"), std::wstring::npos) << Narrow(text);
  EXPECT_NE(text.find(GetParam().reason), std::wstring::npos) << Narrow(text);
  EXPECT_EQ(DismAddDriver(session, Driver("hubx").c_str(), 1), GetParam().expected);
  EXPECT_TRUE(fs::is_empty(Host("mnt/m/Windows")));
  ASSERT_EQ(DismCommitImage(session, 0, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(DismCloseSession(session), S_OK);
  ASSERT_EQ(DismUnmountImage(L"C:\\mnt\\m", DISM_COMMIT_IMAGE, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(fs::file_size(Host("work/boot.wim")), size);
  EXPECT_EQ(DetailedListing(Host("work/boot.wim"), 2), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverRegistrationBadHive,
    testing::Values(BadHive{"Missing", Hive::None, HResultFromWin32(ERROR_FILE_NOT_FOUND), L"has no registry hive"},
                    BadHive{"Damaged", Hive::Damaged, HResultFromWin32(ERROR_BADDB), L"cannot be read"}),
    [](const testing::TestParamInfo<BadHive>& info) { return std::string(info.param.label); });

TEST_F(DriverRegistrationTest, AnUndecoratedModelsSectionServesX86ImagesOnly) {
  fs::create_directories(Host("drv/fb"));
  std::ofstream(Host("drv/fb/fb.inf"), std::ios::binary)
      << "[Version]\r\nSignature=\"$Windows NT$\"\r\nClassGUID=" << kUsbClassGuid
      << "\r\n[SourceDisksNames]\r\n1=d\r\n[SourceDisksFiles]\r\nfb.sys=1\r\n[DestinationDirs]\r\nDefaultDestDir=12\r\n"
         "[Manufacturer]\r\n%M%=Models,NTamd64\r\n[Models]\r\n%D%=Inst,PCI\\VEN_ABCD&DEV_0001\r\n"
         "[Inst]\r\nCopyFiles=@fb.sys\r\n[Inst.Services]\r\nAddService=fbx,2,Svc\r\n"
         "[Svc]\r\nServiceType=1\r\nStartType=3\r\nErrorControl=1\r\nServiceBinary=%12%\\fb.sys\r\n"
         "[Strings]\r\nM=\"Maker\"\r\nD=\"Device\"\r\n";
  std::ofstream(Host("drv/fb/fb.sys")) << "fb";
  kxdism::BuildWim(Host("work/boot.wim"), {{.name = "PE", .arch = "x86"}, {.name = "Setup", .arch = "x86"}});
  ASSERT_EQ(Service({L"C:\\drv\\fb\\fb.inf"}), S_OK) << Narrow(LastError());
  EXPECT_NE(Reglookup().find("/ControlSet001/Control/CriticalDeviceDatabase/pci#ven_abcd&dev_0001/Service,SZ,fbx,"),
            std::string::npos);
  kxdism::BuildWim(Host("work/boot.wim"), {{.name = "PE"}, {.name = "Setup"}});
  EXPECT_EQ(Service({L"C:\\drv\\fb\\fb.inf"}), SPAPI_E_NO_COMPATIBLE_MODELS);
}

TEST_F(DriverRegistrationTest, ServiceValuesAndRegistryAdditionsLandWhereTheSystemPutsThem) {
  fs::create_directories(Host("drv/ar"));
  std::ofstream(Host("drv/ar/ar.inf"), std::ios::binary)
      << "[Version]\r\nSignature=\"$Windows NT$\"\r\nClassGUID=" << kUsbClassGuid
      << "\r\n[SourceDisksNames]\r\n1=d\r\n[SourceDisksFiles]\r\nar.sys=1\r\nar.dll=1\r\n"
         "[DestinationDirs]\r\nSys=12\r\nLib=11,sub\r\n"
         "[Manufacturer]\r\nM=Models,NTamd64\r\n[Models.NTamd64]\r\nD=Inst,USB\\VID_1&PID_2,USB\\Class_09\r\n"
         "[Inst.NTamd64]\r\nCopyFiles=Sys,Lib\r\nAddReg=Global\r\n[Inst]\r\n"
         "[Inst.NTamd64.Services]\r\nAddService=arsvc,0x2,Svc\r\nAddService=arhelper,0,Helper\r\n"
         "[Svc]\r\nDisplayName=\"A R\"\r\nServiceType=1\r\nStartType=0\r\nErrorControl=3\r\nServiceBinary=%12%\\ar.sys\r\n"
         "LoadOrderGroup=Boot Bus Extender\r\nDependencies=arhelper,+Base\r\nAddReg=Params\r\n"
         "[Helper]\r\nServiceType=0x10\r\nStartType=2\r\nErrorControl=1\r\nServiceBinary=%11%\\sub\\ar.dll\r\n"
         "[Params]\r\nHKR,Parameters,Level,0x00010001,0x2a\r\nHKR,Parameters,Names,0x00010000,one,two\r\n"
         "HKR,Parameters,Blob,1,de,ad,be,ef\r\nHKR,,Keep,0x2,\"first\"\r\nHKR,,Keep,0x2,\"second\"\r\n"
         "HKCU,Software\\X,Y,,\"elsewhere\"\r\n"
         "[Global]\r\nHKLM,System\\CurrentControlSet\\Control\\ArGlobal,Mode,0x00020000,\"%SystemRoot%\\x\"\r\n"
         "HKR,,DeviceOnly,,\"later\"\r\n"
         "[Sys]\r\nar.sys\r\n[Lib]\r\nar.dll\r\n";
  std::ofstream(Host("drv/ar/ar.sys")) << "sys";
  std::ofstream(Host("drv/ar/ar.dll")) << "dll";
  kxdism::BuildWim(Host("work/boot.wim"), {{.name = "PE"}, {.name = "Setup"}});
  ASSERT_EQ(Service({L"C:\\drv\\ar\\ar.inf"}), S_OK) << Narrow(LastError());
  const std::string regs = Reglookup();
  for (const char* line : {
           "/ControlSet001/Services/arsvc/Start,DWORD,0x00000000,",
           "/ControlSet001/Services/arsvc/ErrorControl,DWORD,0x00000003,",
           "/ControlSet001/Services/arsvc/Group,SZ,Boot Bus Extender,",
           "/ControlSet001/Services/arsvc/DependOnService,MULTI_SZ,arhelper,",
           "/ControlSet001/Services/arsvc/DependOnGroup,MULTI_SZ,Base,",
           "/ControlSet001/Services/arsvc/Parameters/Level,DWORD,0x0000002A,",
           "/ControlSet001/Services/arsvc/Parameters/Names,MULTI_SZ,one|two,",
           "/ControlSet001/Services/arsvc/Parameters/Blob,BINARY,%DE%AD%BE%EF,",
           "/ControlSet001/Services/arsvc/Keep,SZ,first,",
           "/ControlSet001/Services/arhelper/Type,DWORD,0x00000010,",
           // reglookup writes % as %25.
           "/ControlSet001/Services/arhelper/ImagePath,EXPAND_SZ,%25SystemRoot%25\\System32\\sub\\ar.dll,",
           "/ControlSet001/Control/ArGlobal/Mode,EXPAND_SZ,%25SystemRoot%25\\x,",
           "/ControlSet001/Control/CriticalDeviceDatabase/usb#vid_1&pid_2/Service,SZ,arsvc,",
           "/ControlSet001/Control/CriticalDeviceDatabase/usb#class_09/Service,SZ,arsvc,"})
    EXPECT_NE(regs.find(line), std::string::npos) << line << "\n" << regs;
  EXPECT_EQ(regs.find("elsewhere"), std::string::npos);
  EXPECT_EQ(regs.find("DeviceOnly"), std::string::npos);
  EXPECT_EQ(regs.find("arhelper/Parameters"), std::string::npos);
  const std::string listing = Listing(Host("work/boot.wim"), 2);
  EXPECT_NE(listing.find("/Windows/System32/drivers/ar.sys"), std::string::npos);
  EXPECT_NE(listing.find("/Windows/System32/sub/ar.dll"), std::string::npos);
}
