#pragma once
// The work behind the servicing calls, on one recorded mount: checking and
// recording a mount, reading what the driver step needs from the image,
// staging a driver package in the mount folder, and committing the mount
// folder's additions into the WIM. Messages name the file and the reason.

#include <functional>
#include <set>
#include <string>

#include "platform/dism/driverpackage.h"
#include "platform/dism/driverregistration.h"
#include "platform/dism/mountregistry.h"

namespace platform::dism {

// What the driver step reads from the image, loaded once per session.
struct ImageFacts {
  bool loaded = false;
  ImageArch arch = ImageArch::X86;
  OsVersion version;
  std::set<unsigned> oemNumbers;         // published "oem<N>.inf" in image and mount folder
  std::set<std::wstring> storeFolders;   // driver store folder names, lower case
  HiveState hive;                        // the SYSTEM hive, checked at the first add
};

using PercentSink = std::function<void(UINT current, UINT total)>;

// Checks the WIM, the image and the folder (existing, empty), makes the
// folder's "Windows" and records the mount.
[[nodiscard]] HRESULT MountImage(const std::wstring& wimPath, const std::wstring& mountPath, UINT index, const wchar_t* name,
                   bool byName, bool readOnly, const PercentSink& progress, MountRecord& record,
                   std::wstring& message);

[[nodiscard]] HRESULT ReadImageFacts(const MountRecord& record, ImageFacts& facts, std::wstring& message);

// Stages the package whose INF is infPath and installs it (binaries and
// registry, see driverregistration.h); a package the image already holds
// succeeds without a new copy, its registration made good where it differs.
[[nodiscard]] HRESULT StageDriver(const MountRecord& record, ImageFacts& facts, const std::wstring& infPath,
                    std::wstring& message);

// Adds what the mount folder holds beyond what was committed before to the
// image and writes the WIM in place; refreshes the records of that WIM.
[[nodiscard]] HRESULT CommitMount(const MountRecord& record, const PercentSink& progress, std::wstring& message);

// Closes the WIM this process keeps open for a mount (after an unmount).
void ForgetWim(unsigned id);

// Removes everything inside a host folder; the folder itself stays.
void EmptyFolder(const std::string& host);

}  // namespace platform::dism
