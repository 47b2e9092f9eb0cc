// This computer's USB controllers from sysfs, on trees the test builds the way
// the kernel lays them out (bus/pci/devices/<slot> links into devices/), with
// the damage a reader of /sys must survive.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

#include "platform/machine/pcicontrollers.h"
#include "testmachine.h"

namespace {

namespace fs = std::filesystem;
using Fields = std::map<std::string, std::string>;

class PciSysfs : public testing::Test {
 protected:
  kxtest::TempDir sys;
  fs::path Devices() const { return sys.path() / "bus" / "pci" / "devices"; }

  // A function's folder under devices/pci0000:00, reached by a link as in /sys.
  fs::path Add(const std::string& slot, const Fields& fields) {
    const fs::path folder = sys.path() / "devices" / "pci0000:00" / slot;
    fs::create_directories(folder);
    fs::create_directories(Devices());
    fs::create_directory_symlink(fs::path("../../../devices/pci0000:00") / slot, Devices() / slot);
    for (const auto& [name, value] : fields) std::ofstream(folder / name) << value << "\n";
    return folder;
  }
};

const Fields kXhci = {{"class", "0x0c0330"},         {"vendor", "0x8086"},           {"device", "0x9d2f"},
                      {"subsystem_vendor", "0x17aa"}, {"subsystem_device", "0x2247"}, {"revision", "0x21"}};

Fields With(Fields fields, const std::string& name, const std::string& value) {
  fields[name] = value;
  return fields;
}

TEST_F(PciSysfs, ReadsUsbControllersAndPassesOverWhatCannotBeRead) {
  Add("0000:00:14.0", kXhci);
  Add("0000:00:1d.0", {{"class", "0x0c0320"}, {"vendor", "0x8086"}, {"device", "0x1e26"}});  // an old kernel's fields
  Add("0000:03:00.0", With(kXhci, "vendor", "0x1912"));
  Add("0000:00:1f.0", With(kXhci, "class", "0x020000"));   // a network controller
  Add("0000:00:1f.1", With(kXhci, "class", "0xzz"));
  Add("0000:00:1f.2", With(kXhci, "vendor", "0x18086"));   // wider than a vendor ID
  Add("0000:00:1f.4", With(kXhci, "class", std::string(5000, '0')));  // larger than an attribute
  const fs::path folderClass = Add("0000:00:1f.5", kXhci);
  fs::remove(folderClass / "class");
  fs::create_directory(folderClass / "class");
  const fs::path fifo = Add("0000:00:1f.6", kXhci);
  fs::remove(fifo / "vendor");
  ASSERT_EQ(::mkfifo((fifo / "vendor").c_str(), 0600), 0);  // no writer: a reader that opens it blocks
  Add("not-a-slot", kXhci);
  Add(".0000:00:14.1", kXhci);
  fs::create_directory_symlink("../../../devices/pci0000:00/gone", Devices() / "0000:00:1f.7");

  const auto got = platform::ReadUsbControllers(Devices().string());
  ASSERT_EQ(got.size(), 3u);
  const auto fields = [](const platform::PciFunction& f) {
    return std::tuple(f.slot, f.vendor, f.device, f.subVendor, f.subDevice, f.revision, f.classCode, f.IsXhci());
  };
  EXPECT_EQ(fields(got[0]), std::tuple("0000:00:14.0", 0x8086, 0x9d2f, 0x17aa, 0x2247, 0x21, 0x0c0330u, true));
  EXPECT_EQ(fields(got[1]), std::tuple("0000:00:1d.0", 0x8086, 0x1e26, 0, 0, 0, 0x0c0320u, false));
  EXPECT_EQ(got[2].slot, "0000:03:00.0");
}

}  // namespace
