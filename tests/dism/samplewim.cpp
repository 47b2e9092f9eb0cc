#include "samplewim.h"

#include <wimlib.h>

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace kxdism {

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& content) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

std::string PeStub(const std::string& arch) {
  std::string image(0x40, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  image[0x3C] = 0x40;
  image += std::string("PE\0\0", 4);
  if (arch == "x86") image += std::string("\x4c\x01", 2);
  else image += std::string("\x64\x86", 2);
  image += std::string(64, '\x90');
  return image;
}

}  // namespace

std::string DriverInfText(const DriverSpec& spec) {
  std::string text =
      "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=USB\r\nClassGUID=" + std::string(kUsbClassGuid) +
      "\r\nProvider=%Prov%\r\nCatalogFile=" + spec.name +
      ".cat\r\n\r\n[SourceDisksNames]\r\n1=%Disk%,,,\r\n\r\n[SourceDisksFiles]\r\n" + spec.name +
      ".sys=1\r\n\r\n[Manufacturer]\r\n%Prov%=Models," + spec.decorations + "\r\n";
  std::string decorations = spec.decorations + ",";
  for (size_t start = 0, comma; (comma = decorations.find(',', start)) != std::string::npos; start = comma + 1)
    text += "\r\n[Models." + decorations.substr(start, comma - start) + "]\r\n%Dev%=Install,PCI\\VEN_1234&DEV_" +
            spec.name + "\r\n";
  text += "\r\n[DestinationDirs]\r\nFiles=12\r\n\r\n[Install]\r\nCopyFiles=Files\r\n\r\n[Install.Services]\r\n"
          "AddService=" + spec.name + ",0x00000002,Service\r\n\r\n[Service]\r\nDisplayName=%Dev%\r\nServiceType=1\r\n"
          "StartType=3\r\nErrorControl=1\r\nLoadOrderGroup=Base\r\nServiceBinary=%12%\\" + spec.name +
          ".sys\r\n\r\n[Files]\r\n" + spec.name +
          ".sys\r\n\r\n[Strings]\r\nProv=\"Test\"\r\nDisk=\"Disk\"\r\nDev=\"" + spec.name + " device\"\r\n";
  return text;
}

fs::path WriteDriver(const fs::path& folder, const DriverSpec& spec) {
  fs::path inf = folder / (spec.name + spec.infExtension);
  Write(inf, DriverInfText(spec));
  if (spec.writeSys) Write(folder / (spec.name + ".sys"), "driver " + spec.name + "\r\n");
  Write(folder / (spec.name + ".cat"), "catalog " + spec.name + "\r\n");
  return inf;
}

void WriteImageTree(const fs::path& folder, const ImageSpec& spec) {
  fs::path sys32 = folder / "Windows" / "System32";
  Write(sys32 / "ntoskrnl.exe", PeStub(spec.arch));
  Write(sys32 / "drivers" / "disk.sys", "disk driver of " + spec.name);
  Write(sys32 / "DriverStore" / "FileRepository" / ("machine.inf_" + spec.arch + "_neutral_0123456789abcdef") /
            "machine.inf",
        "[Version]\r\n");
  Write(folder / "Windows" / "INF" / "machine.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
  for (int i = 0; i < spec.oemInfs; ++i)
    Write(folder / "Windows" / "INF" / ("oem" + std::to_string(i) + ".inf"), "[Version]\r\n; oem " + std::to_string(i));
  const fs::path hive = folder / "Windows" / "System32" / "config" / "SYSTEM";
  if (spec.hive == Hive::Damaged) Write(hive, "regf" + std::string(8188, '\x5a'));
  if (spec.hive == Hive::Sample) WriteSystemHive(hive, spec.controlSet);
  for (int i = 0; i < spec.extraFiles; ++i)
    Write(folder / "Program Files" / spec.name / ("file" + std::to_string(i) + ".dat"),
          std::string(512 + i * 100, static_cast<char>('a' + i % 26)));
}

void WriteSystemHive(const fs::path& file, int controlSet) {
  // The script runs once per control set and process; its hive is copied.
  static std::map<int, std::string> made;
  fs::create_directories(file.parent_path());
  auto it = made.find(controlSet);
  if (it == made.end()) {
    int status = -1;
    std::string out = Run("'" KX_SOURCE_DIR "/scripts/make-system-hive' --control-set " + std::to_string(controlSet) +
                              " '" + file.string() + "' 2>&1",
                          &status);
    if (status != 0) throw std::runtime_error("make-system-hive: " + out);
    std::ifstream in(file, std::ios::binary);
    it = made.emplace(controlSet, std::string(std::istreambuf_iterator<char>(in), {})).first;
    return;
  }
  Write(file, it->second);
}

void BuildWim(const fs::path& wimPath, const std::vector<ImageSpec>& images) {
  wimlib_global_init(WIMLIB_INIT_FLAG_DEFAULT_CASE_INSENSITIVE);
  WIMStruct* wim = nullptr;
  if (wimlib_create_new_wim(WIMLIB_COMPRESSION_TYPE_XPRESS, &wim)) throw std::runtime_error("create wim");
  fs::path trees = wimPath.parent_path() / (wimPath.filename().string() + ".trees");
  int index = 0;
  for (const auto& spec : images) {
    fs::path tree = trees / std::to_string(++index);
    WriteImageTree(tree, spec);
    if (wimlib_add_image(wim, tree.c_str(), spec.name.c_str(), nullptr, 0))
      throw std::runtime_error("add image " + spec.name);
    if (spec.archInDescription)
      wimlib_set_image_property(wim, index, "WINDOWS/ARCH", spec.arch == "x86" ? "0" : "9");
  }
  int rc = wimlib_write(wim, wimPath.c_str(), WIMLIB_ALL_IMAGES, 0, 1);
  wimlib_free(wim);
  fs::remove_all(trees);
  if (rc) throw std::runtime_error("write wim");
}

std::string Run(const std::string& command, int* status) {
  std::string out;
  std::FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = ::pclose(p);
  if (status) *status = rc;
  return out;
}

std::string DetailedListing(const fs::path& wim, int image) {
  // Reference counts say how many images share a blob, not what this image
  // holds: a change to another image may change them.
  return Run("wimlib-imagex dir '" + wim.string() + "' " + std::to_string(image) +
             " --detailed 2>&1 | grep -v '^Reference Count'");
}

std::string Listing(const fs::path& wim, int image) {
  return Run("wimlib-imagex dir '" + wim.string() + "' " + std::to_string(image) + " 2>&1");
}

std::string SystemHiveListing(const fs::path& wim, int image) {
  char folder[] = "/tmp/kx-hive-XXXXXX";
  if (!::mkdtemp(folder)) return {};
  const std::string out = Run("WIMLIB_IMAGEX_IGNORE_CASE=1 wimlib-imagex extract '" + wim.string() + "' " +
                              std::to_string(image) + " /Windows/System32/config/SYSTEM --dest-dir=" + folder +
                              " --no-acls >/dev/null 2>&1 && reglookup " + folder + "/SYSTEM");
  fs::remove_all(folder);
  return out;
}

}  // namespace kxdism
