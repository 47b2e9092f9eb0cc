#pragma once
// Installing a staged driver package into the mounted image the way the
// servicing API does offline: its binaries copied to their destination
// folders and its services and device bindings written into the image's
// SYSTEM hive, in the control set that Select\Current names. Both land in
// the mount folder, so the next commit adds them to the image in the same
// update as the driver store.
//
// The hive is read from the image once per session, before the first
// package is added, and kept open (outside the mount folder) for the
// session: an image whose hive is missing or damaged fails that first add
// and nothing of it changes. Packages change it in memory; FlushHive writes
// it into the mount folder once, before a commit, and only when a package
// changed it, so a hive of many MiB is not rewritten per package.

#include <memory>
#include <string>

#include "platform/dism/driverinstall.h"
#include "platform/dism/mountregistry.h"
#include "platform/dism/wimfile.h"

namespace platform::dism {

// "Windows/System32/config/SYSTEM", the hive's path inside an image.
extern const char kSystemHivePath[];

struct HiveState {
  bool checked = false;
  std::string controlSet;             // "ControlSet001"
  std::unique_ptr<SystemHive> open;   // the hive, as the session's packages changed it
  bool broken = false;                // a change failed half-way: nothing more is written
};

// Finds the hive (the mount folder's copy, else the image's), checks that
// hivex opens it and that it names its control set. HResultFromWin32(2)
// when the image has none, HResultFromWin32(ERROR_BADDB) when it cannot be
// read, with a message naming the image.
[[nodiscard]] HRESULT PrepareHive(const MountRecord& record, WimFile& wim, HiveState& hive, std::wstring& message);

// Copies the plan's files (when copyFiles) into the mount folder and writes
// its services, bindings and values into the open hive. A file or value that
// is there already as it should be is left alone, so a package registered
// twice changes nothing the second time. On failure the files it wrote are
// removed again, and the hive is not written any more in this session.
[[nodiscard]] HRESULT RegisterDriver(const MountRecord& record, HiveState& hive, const DriverPackage& package,
                       const DriverInstall& plan, bool copyFiles, std::wstring& message);

// Writes the hive into the mount folder when packages changed it.
[[nodiscard]] HRESULT FlushHive(const MountRecord& record, HiveState& hive, std::wstring& message);

}  // namespace platform::dism
