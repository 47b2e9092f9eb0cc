#pragma once
// The PCI functions of this computer that are USB controllers (class 0x0C03:
// UHCI 0x00, OHCI 0x10, EHCI 0x20, xHCI 0x30) or mass-storage controllers
// (base class 0x01: IDE, SATA, RAID, SAS, NVMe ...), read from sysfs.
//
// Each function is one folder of the devices folder (on Linux
// /sys/bus/pci/devices/<slot>, a link into /sys/devices), holding one small
// text file per field ("0x8086"). A folder whose fields cannot be read or
// parsed is left out; the walk never fails as a whole. Tests pass a folder
// of their own making. Any thread may call it.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

inline constexpr const char* kSysPciDevices = "/sys/bus/pci/devices";
// Base class 0x0C (serial bus), subclass 0x03 (USB); the programming
// interface of an xHCI (USB 3.x) host controller.
inline constexpr std::uint32_t kUsbControllerClass = 0x0C03;
inline constexpr std::uint8_t kXhciInterface = 0x30;
// Base class 0x01: mass-storage controllers.
inline constexpr std::uint32_t kMassStorageClass = 0x01;

// One PCI function as Windows names it by ID. A field the source does not
// give (lspci leaves out a zero revision and a zero subsystem) is 0, as the
// hardware reports it.
struct PciFunction {
  std::string slot;  // "0000:00:14.0" or "00:14.0"
  std::uint16_t vendor = 0;
  std::uint16_t device = 0;
  std::uint16_t subVendor = 0;
  std::uint16_t subDevice = 0;
  std::uint8_t revision = 0;
  std::uint32_t classCode = 0;  // base class, subclass, programming interface: 0x0C0330

  bool IsUsbController() const { return (classCode >> 8) == kUsbControllerClass; }
  bool IsXhci() const { return IsUsbController() && (classCode & 0xFF) == kXhciInterface; }
  bool IsStorageController() const { return (classCode >> 16) == kMassStorageClass; }
};

// The USB controllers below devicesFolder, by slot.
std::vector<PciFunction> ReadUsbControllers(const std::string& devicesFolder = kSysPciDevices);
// The USB and the mass-storage controllers below devicesFolder, by slot.
std::vector<PciFunction> ReadPciControllers(const std::string& devicesFolder = kSysPciDevices);

}  // namespace platform
