// The PCI ID database (/usr/share/misc/pci.ids comes from a package, but it
// is a file like any other): every name found is bounded and holds no
// control character, whatever the file holds.
#include "drivers/pciids.h"
#include "kxfuzz.h"

namespace {

void CheckName(const std::string& name) {
  KX_FUZZ_CHECK(name.size() <= drivers::kMaxPciNameChars);
  for (unsigned char c : name) KX_FUZZ_CHECK(c >= 0x20 && c != 0x7F);
}

}  // namespace

KX_FUZZ_TARGET {
  const drivers::PciIdDatabase db(kxfuzz::Bytes(data, size));
  platform::PciFunction f;
  f.vendor = 0x8086;
  f.device = 0x9d2f;
  f.subVendor = 0x17aa;
  f.subDevice = 0x2247;
  const drivers::PciNames names = db.Names(f);
  for (const std::string* name : {&names.vendor, &names.device, &names.subVendor, &names.subsystem}) CheckName(*name);
  CheckName(db.VendorName(0x0000));
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back(
      "# comment\n0000  Gammagraphx, Inc.\n17aa  Lenovo\n8086  Intel Corporation\n"
      "\t9d2f  Sunrise Point-LP USB 3.0 xHCI Controller\n\t\t17aa 2247  ThinkPad T470\n"
      "C 0c  Serial bus controller\n\t03  USB controller\n\t\t30  XHCI\n");
}
