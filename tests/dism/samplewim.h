#pragma once
// Fixtures for the image servicing tests: small WIM files made with wimlib,
// driver packages written on the fly, and the peer tool's view of a WIM.

#include <filesystem>
#include <string>
#include <vector>

namespace kxdism {

inline constexpr char kUsbClassGuid[] = "{36FC9E60-C465-11CF-8056-444553540000}";

enum class Hive { Sample, None, Damaged };

struct ImageSpec {
  std::string name = "Image";
  std::string arch = "amd64";  // amd64 or x86: the kernel's machine type
  bool archInDescription = true;  // WINDOWS/ARCH in the WIM's XML
  int oemInfs = 0;             // published oem0.inf .. oem<n-1>.inf
  int extraFiles = 3;
  Hive hive = Hive::Sample;    // Windows\System32\config\SYSTEM
  int controlSet = 1;          // the one Select\Current names
};

// Writes the sample media's SYSTEM hive (scripts/make-system-hive) to file.
void WriteSystemHive(const std::filesystem::path& file, int controlSet = 1);

// Writes the tree of one image into folder.
void WriteImageTree(const std::filesystem::path& folder, const ImageSpec& spec);
// Builds a WIM (XPRESS-compressed) holding the images in order; throws on failure.
void BuildWim(const std::filesystem::path& wim, const std::vector<ImageSpec>& images);

struct DriverSpec {
  std::string name = "sample";         // INF base name
  std::string decorations = "NTamd64,NTx86";
  bool writeSys = true;
  std::string infExtension = ".inf";
};
// Writes "<name><ext>", "<name>.sys" and "<name>.cat" into folder; returns the INF's host path.
std::filesystem::path WriteDriver(const std::filesystem::path& folder, const DriverSpec& spec);
// The INF text WriteDriver writes.
std::string DriverInfText(const DriverSpec& spec);

// Runs a shell command; its standard output, and its exit status.
std::string Run(const std::string& command, int* status = nullptr);
// `wimlib-imagex dir --detailed` of one image (the peer's view of its files).
std::string DetailedListing(const std::filesystem::path& wim, int image);
// `wimlib-imagex dir` of one image.
std::string Listing(const std::filesystem::path& wim, int image);
// `reglookup` of the SYSTEM hive of one image (extracted into a temporary folder).
std::string SystemHiveListing(const std::filesystem::path& wim, int image);

}  // namespace kxdism
