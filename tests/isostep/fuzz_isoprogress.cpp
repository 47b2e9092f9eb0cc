// The ISO tool's output: one chunk as the runner reads it (8-bit text
// converted to wide) and the progress read from it.
#include "kxfuzz.h"
#include "pipeline/makeisofile.h"
#include "platform/text.h"

KX_FUZZ_TARGET {
  const int value = IsoProgressValue(platform::WideFromAnsi(kxfuzz::Bytes(data, size)));
  // At most three characters are read: the value stays within -99..999.
  KX_FUZZ_CHECK(value >= -99 && value <= 999);
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back(" 12% complete\r\n");
  seeds.push_back("Scanning source tree\r\nScanning source tree complete (812 files in 95 directories)\r\n"
                  "  7% complete\r\n 13% complete\r\n");
  seeds.push_back("100% complete\r\nDone.\r\n");
  seeds.push_back("5% complete");
}
