#pragma once
// What installing a driver package into an offline image means, read from
// its INF for the image's architecture: the files copied to their
// destination folders, the services with their values, the device IDs bound
// to the package's function service, and the registry values the INF adds
// where an offline image can hold them.
//
// Install sections are looked up with the decorations the system tries,
// most specific first ("<name>.NTamd64", "<name>.NT", "<name>"); services
// come from the chosen section's ".Services" section. Registry additions of
// the service-install sections go under the service's key (HKR); HKLM
// additions below "SYSTEM\CurrentControlSet" go into the image's control
// set. Additions to the device's own driver key (HKR of an install section)
// have no key before a device is found and are left to the device's
// installation on the running system, as are keys outside the SYSTEM hive.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dism/driverpackage.h"
#include "platform/dism/systemhive.h"

namespace platform::dism {

struct InstallFile {
  std::wstring source;  // relative path in the package (as DriverPackage::files)
  std::string target;   // inside the image, '/' separated ("Windows/System32/drivers/x.sys")
};

// One registry value to write, below a key given relative to the control
// set ("Services\\x\\Parameters"). An empty name with keyOnly makes the key.
struct InstallValue {
  std::string key;
  std::string name;
  RegData data;
  bool keepExisting = false;  // FLG_ADDREG_NOCLOBBER
  bool keyOnly = false;
};

struct InstallService {
  std::string name;
  bool function = false;  // SPSVCINST_ASSOCSERVICE: the device's own service
  std::vector<InstallValue> values;  // the service key's values and AddReg
};

struct DeviceBinding {
  std::wstring id;       // as the INF writes it ("PCI\VEN_1B21&DEV_F242")
  std::string service;
};

struct DriverInstall {
  std::wstring classGuid;
  std::vector<InstallFile> files;
  std::vector<InstallService> services;
  std::vector<DeviceBinding> bindings;
  std::vector<InstallValue> controlSetValues;  // HKLM additions inside the control set
};

// The key name of an ID in the critical device database: '\' as '#', lower case.
std::string CriticalDeviceKey(const std::wstring& id);

// S_OK and the plan, or SPAPI_E_GENERAL_SYNTAX with a message naming the
// INF, the line and the reason (a destination folder id this image has no
// folder for, a copied file the package does not list, a service without
// its type, start or binary, a name that is no valid name).
[[nodiscard]] HRESULT PlanDriverInstall(const DriverPackage& package, const std::wstring& infPath, ImageArch arch,
                          DriverInstall& out, std::wstring& message);

}  // namespace platform::dism
