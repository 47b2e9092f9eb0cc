#pragma once
// A driver package as the servicing code stages it: the INF file, its
// catalog and the source files it lists, checked against the architecture
// and version of the image it is meant for.

#include <string>
#include <vector>

#include <map>

#include "platform/dism/dismapi.h"
#include "platform/dism/inffile.h"

namespace platform::dism {

enum class ImageArch { X86, Amd64, Ia64 };

// "x86", "amd64", "ia64": the names used in driver store folders and in
// [SourceDisksFiles.<arch>] sections.
const wchar_t* ArchName(ImageArch arch);

// The Windows version of an image, for "NTamd64.6.1"-style decorations.
struct OsVersion {
  int major = 6;
  int minor = 1;
};

struct PackageFile {
  std::wstring relative;  // inside the package folder, '\' separated
  std::string host;       // host path of the source file
  std::string bytes;      // its content
};

struct DriverPackage {
  std::wstring infName;            // the INF's file name in lower case
  std::vector<PackageFile> files;  // the INF first, then catalog and sources
  std::string hash;                // 16 lower-case hexadecimal digits
  InfFile inf;                     // the parsed INF
  std::vector<std::wstring> modelSections;     // the models sections that apply to the image
  std::map<std::wstring, std::wstring> sources;  // lower-case source file name -> relative path
  // "<inf>_<arch>_neutral_<hash>", the driver store folder's name.
  std::wstring StoreFolderName(ImageArch arch) const;
};

// Reads and checks the package whose INF is infPath (a system path).
// S_OK and the package, or a failure code and a message naming the file and
// the reason: HResultFromWin32(2) for a missing INF or listed file, the
// error of the read for an INF or listed file that cannot be read (a folder,
// an I/O error), HResultFromWin32(ERROR_INVALID_NAME) for a listed name that
// no file may have (a NUL or another control character, <>"|?*),
// SPAPI_E_GENERAL_SYNTAX for text that is not INF syntax or a file path that
// leaves the package folder, SPAPI_E_WRONG_INF_STYLE for an INF that is not a
// driver INF (no Windows NT signature, no [Manufacturer]),
// SPAPI_E_NO_COMPATIBLE_MODELS when no models section applies to arch.
[[nodiscard]] HRESULT LoadDriverPackage(const std::wstring& infPath, ImageArch arch, OsVersion version, DriverPackage& out,
                          std::wstring& message);

}  // namespace platform::dism
