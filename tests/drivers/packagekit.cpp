#include "packagekit.h"

#include "catalogkit.h"

#include <cstdio>
#include <fstream>

#include "testmachine.h"

namespace kxdrv {

namespace {

// The test machines of these tests accept the shared CA's root.
const bool kTestRootAccepted = (kxtest::SetTestDriverRoots(SharedCa().RootPem()), true);

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

}  // namespace

fs::path WritePackage(const fs::path& folder, const PackageSpec& s) {
  std::string inf = "; test package\n[Version]\nSignature = \"$WINDOWS NT$\"\nClass = " + s.cls + "\n";
  if (s.cls == "USB") inf += "ClassGUID = {36FC9E60-C465-11CF-8056-444553540000}\n";
  inf += "Provider = %P%\nDriverVer = 01/02/2020,1.2.3.4\n";
  if (s.catalog) inf += "CatalogFile = " + s.name + ".cat\n";
  inf += "\n[SourceDisksNames]\n1 = %D%,,,\n\n[SourceDisksFiles]\n" + s.name + ".sys = 1\n\n[DestinationDirs]\nDefaultDestDir = 12\n";
  if (s.manufacturer) {
    inf += "\n[Manufacturer]\n%P% = M";
    for (const auto& a : s.archs) inf += "," + a;
    inf += "\n";
    for (const auto& a : s.archs)
      inf += "\n[M." + a + "]\n%Desc% = Inst, PCI\\VEN_" + s.vendor + "&DEV_1234\n%Desc% = Inst, PCI\\VEN_" + s.vendor +
             "&DEV_1234&SUBSYS_00000000\n";
  }
  inf += "\n[Inst]\nCopyFiles = Files\n\n[Inst.Services]\nAddService = " + s.name +
         ", 0x00000002, Svc\n\n[Svc]\nServiceType = 1\nStartType = " + std::to_string(s.startType) + "\nErrorControl = 1\nServiceBinary = %12%\\" + s.name +
         ".sys\n\n[Files]\n" + s.name + ".sys\n\n[Strings]\nP = \"Test Vendor " + s.vendor +
         "\"\nD = \"Disk\"\nDesc = \"Test xHCI " + s.name + "\"\n";
  Write(folder / (s.name + ".inf"), inf);
  if (s.writeSys)
    Write(folder / (s.name + ".sys"), s.sys.empty() ? "MZ test driver " + s.name + std::string(300, 'x') : s.sys);
  if (s.catalog) {
    std::vector<fs::path> members{folder / (s.name + ".inf")};
    if (s.writeSys) members.push_back(folder / (s.name + ".sys"));
    WriteCatalog(folder / (s.name + ".cat"), members);
  }
  return folder / (s.name + ".inf");
}

std::string Sh(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) {
    if (status) *status = -1;
    return out;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  const int rc = pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Folder: return "Folder";
    case Kind::Zip: return "Zip";
    case Kind::Cab: return "Cab";
    case Kind::SevenZip: return "SevenZip";
    case Kind::SelfExtractor: return "SelfExtractingExe";
    case Kind::SevenZipSelfExtractor: return "SevenZipSelfExtractingExe";
    case Kind::Msi: return "Msi";
  }
  return "?";
}

std::string Pack(Kind kind, const fs::path& folder, const fs::path& out) {
  std::string command;
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(folder)) files.push_back(e.path().filename().string());
  std::string list;
  for (const auto& f : files) list += " '" + f + "'";
  switch (kind) {
    case Kind::Folder:
      fs::copy(folder, out, fs::copy_options::recursive);
      return {};
    case Kind::Zip:
    case Kind::SelfExtractor: {
      // A self-extractor: a small PE stub, then the ZIP; zipfile's append
      // mode writes its offsets past the stub, as the vendors' tools do.
      const std::string stub = kind == Kind::SelfExtractor ? "w.write(b'MZ' + b'\\x90' * 126 + b'PE\\0\\0' + b'\\0' * 380)" : "pass";
      command = "cd " + Quote(folder) + " && python3 -c \"import sys, zipfile\nwith open(sys.argv[1], 'wb') as w:\n    " +
                stub + "\nwith zipfile.ZipFile(sys.argv[1], 'a', zipfile.ZIP_DEFLATED) as z:\n    [z.write(f, 'drv/' + f) for f in sys.argv[2:]]\" " +
                Quote(out) + list;
      break;
    }
    case Kind::Cab:
      command = "cd " + Quote(folder) + " && gcab -c -z " + Quote(out) + list;
      break;
    case Kind::SevenZip:
      command = "cd " + Quote(folder) + " && 7zz a -bd " + Quote(out) + list + " >/dev/null";
      break;
    case Kind::SevenZipSelfExtractor:
      // 7-Zip's self-extracting modules are some 160 KiB of program in
      // front of the archive; readers look for it past that size.
      command = "cd " + Quote(folder) + " && 7zz a -bd " + Quote(out.string() + ".7z") + list +
                " >/dev/null && { python3 -c \"import sys; sys.stdout.buffer.write(b'MZ' + bytes(0x27000 - 2))\"; cat " +
                Quote(out.string() + ".7z") + "; } >" + Quote(out);
      break;
    case Kind::Msi: {
      std::string wxs =
          "<?xml version='1.0'?>\n<Wix xmlns='http://schemas.microsoft.com/wix/2006/wi'>\n"
          "<Product Id='*' Name='TestDrivers' Language='1033' Version='1.0.0' Manufacturer='Test'"
          " UpgradeCode='12345678-1234-1234-1234-123456789012'>\n"
          "<Package InstallerVersion='200' Compressed='yes'/>\n<Media Id='1' Cabinet='d.cab' EmbedCab='yes'/>\n"
          "<Directory Id='TARGETDIR' Name='SourceDir'><Directory Id='ProgramFilesFolder'>"
          "<Directory Id='INSTALLDIR' Name='TestDrivers'>\n<Component Id='C1' Guid='11111111-2222-3333-4444-555555555555'>\n";
      int id = 0;
      for (const auto& f : files) wxs += "<File Id='F" + std::to_string(++id) + "' Source='" + f + "'/>\n";
      wxs += "</Component></Directory></Directory></Directory>\n<Feature Id='Main' Level='1'><ComponentRef Id='C1'/></Feature>\n"
             "</Product>\n</Wix>\n";
      const fs::path wxsFile = out.string() + ".wxs";
      Write(wxsFile, wxs);
      command = "cd " + Quote(folder) + " && wixl -o " + Quote(out) + " " + Quote(wxsFile);
      break;
    }
  }
  int status = -1;
  const std::string output = Sh(command, &status);
  return status == 0 && fs::exists(out) ? std::string() : command + "\n" + output;
}

}  // namespace kxdrv
