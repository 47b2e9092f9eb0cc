#pragma once
// Fixtures for the image servicing tests: small WIM files made with wimlib,
// driver packages written on the fly, and the peer tool's view of a WIM.

#include <filesystem>
#include <string>
#include <vector>

namespace kxdism {

struct ImageSpec {
  std::string name = "Image";
  std::string arch = "amd64";  // amd64 or x86: the kernel's machine type
  bool archInDescription = true;  // WINDOWS/ARCH in the WIM's XML
  int oemInfs = 0;             // published oem0.inf .. oem<n-1>.inf
  int extraFiles = 3;
};

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

}  // namespace kxdism
