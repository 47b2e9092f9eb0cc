// Machine profiles (machine.ini): every declaration the platform layer
// accepts, and a clean ProfileError for everything else.
#include "kxfuzz.h"
#include "platform/machine/machine.h"

KX_FUZZ_TARGET {
  try {
    platform::Machine m = platform::Machine::FromProfileText(kxfuzz::Bytes(data, size), "/nonexistent/machine.ini",
                                                             "/nonexistent/prefix");
    for (const auto& d : m.Drives()) {
      KX_FUZZ_CHECK(d.letter >= L'A' && d.letter <= L'Z');
      KX_FUZZ_CHECK(d.hostFolder.find('\0') == std::string::npos);
    }
  } catch (const platform::ProfileError& e) {
    KX_FUZZ_CHECK(e.line() >= 0);
  }
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back(
      "[drive E]\nfolder = media/dvd\ntype = cdrom\nlabel = GRMCULFRER_EN_DVD\nfilesystem = CDFS\n"
      "[drive F]\nfolder = stick\ntype = removable\nbus = usb\nfree_mb = 4500\ntotal_mb = 7600\ndisk = 1\n"
      "[drive G]\nfolder = /tmp\ntype = 3\nready = no\n[disk 1]\nsize_mb = 7680\nbus = usb\ndevice = /dev/sdb\n");
  seeds.push_back("[drive C]\nfolder = c\n[drive Z]\nfolder = /\ntype = remote\n");
}
