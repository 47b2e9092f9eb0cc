#pragma once
// Driver packages and archives made by the tests: an INF, its .sys and its
// catalog file written by code, then packed by the peer tools (python's
// zipfile, gcab, 7zz, wixl) as a vendor would ship them.

#include <filesystem>
#include <string>
#include <vector>

namespace kxdrv {

namespace fs = std::filesystem;

struct PackageSpec {
  std::string name = "tstxhc";     // INF, .sys, .cat and service name
  std::string vendor = "8086";     // PCI vendor of its hardware ID
  std::vector<std::string> archs = {"NTamd64", "NTx86"};  // [Manufacturer] decorations
  std::string cls = "USB";
  bool catalog = true;             // CatalogFile named and written
  bool writeSys = true;
  bool manufacturer = true;
  int startType = 3;               // the service's StartType (0: boot)
  std::string sys;                 // the .sys file's bytes (empty: a stand-in text)
};

// Writes the package's files into folder; returns the INF's path.
fs::path WritePackage(const fs::path& folder, const PackageSpec& spec);

// Runs a shell command; its output (stdout and stderr) and status.
std::string Sh(const std::string& command, int* status = nullptr);

enum class Kind { Folder, Zip, Cab, SevenZip, SelfExtractor, SevenZipSelfExtractor, Msi };
const char* KindName(Kind kind);
// Packs the folder's files as that kind into out (Folder: out is the folder).
// Empty string on success, else the tool's output.
std::string Pack(Kind kind, const fs::path& folder, const fs::path& out);

}  // namespace kxdrv
