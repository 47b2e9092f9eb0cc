// A profile's roots file (PEM certificates) and the list of cross-
// certificate thumbprints: whatever bytes they hold, reading them ends
// without a crash or a leak, a file that adds certificates adds only whole
// ones, and a listed thumbprint is found again.
#include "drivers/trustedroots.h"
#include "kxfuzz.h"

KX_FUZZ_TARGET {
  const std::string bytes = kxfuzz::Bytes(data, size);
  drivers::TrustedRoots roots;
  const bool added = roots.AddPem(bytes);
  KX_FUZZ_CHECK(added == !roots.Roots().empty());
  roots.AddThumbprints(bytes);
  roots.ListedCrossCertificate(bytes);
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back("# SHA-1 thumbprint | CA | expires\na75ac657aa7a4cdfe5f9de393e69efcab659d250 | AddTrust | 2023-08-15\n");
  seeds.push_back("-----BEGIN CERTIFICATE-----\nMIIBkTCB+wIJAK\n-----END CERTIFICATE-----\n");
  seeds.push_back("CN=Kestrunex Test Root,O=Kestrunex tests\n");
}
