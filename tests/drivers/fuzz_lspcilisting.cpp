// Saved lspci listings of another machine (drivers check --lspci): whatever
// the file holds, the reader keeps at most its cap of functions, each with a
// slot of the listing's own shape, and the matcher takes every one.
#include <string_view>

#include "drivers/hardwareid.h"
#include "drivers/lspcilisting.h"
#include "kxfuzz.h"

KX_FUZZ_TARGET {
  const auto functions = drivers::ParseLspciListing(kxfuzz::Bytes(data, size));
  KX_FUZZ_CHECK(functions.size() <= drivers::kMaxLspciFunctions);
  for (const auto& f : functions) {
    KX_FUZZ_CHECK(!f.slot.empty() && f.slot.size() <= 32);
    KX_FUZZ_CHECK(f.classCode <= 0xFFFFFF);
    KX_FUZZ_CHECK(drivers::RankedIds(f).size() == 6);
  }
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back(
      "Slot:\t00:14.0\nClass:\tUSB controller [0c03]\nVendor:\tIntel Corporation [8086]\n"
      "Device:\tSunrise Point-LP USB 3.0 xHCI Controller [9d2f]\nSVendor:\tLenovo [17aa]\nSDevice:\tThinkPad [2247]\n"
      "Rev:\t21\nProgIf:\t30\n\nSlot:\t00:1a.0\nClass:\t0c03\nVendor:\t8086\nDevice:\t1e2d\nProgIf:\t20\n");
  seeds.push_back(
      "02:00.0 USB controller [0c03]: ASMedia Technology Inc. ASM1042A USB 3.0 Host Controller [1b21:1142] "
      "(rev 01) (prog-if 30 [XHCI])\n\tSubsystem: ASUSTeK Computer Inc. Device [1043:8488]\n\tFlags: bus master\n\n"
      "05:00.0 USB controller [0c03]: Advanced Micro Devices, Inc. [AMD] Device [1022:145f] (prog-if 30 [XHCI])\r\n");
}
