// Language files (lang/*.lang) of the string library: strict UTF-8, key =
// value lines, quotes and escapes.
#include "catalogue.h"
#include "kxfuzz.h"

KX_FUZZ_TARGET {
  ovml::Catalogue catalogue;
  std::string error;
  const bool ok = catalogue.Parse(kxfuzz::Bytes(data, size), &error);
  KX_FUZZ_CHECK(ok || (catalogue.size() == 0 && !error.empty()));
  (void)catalogue.Find(u"Operation failed");
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back("# English\nOperation failed = Operation failed\nNext = \" Next \"\nQuote = say \\\"hi\\\"\\n\n");
  seeds.push_back("Caf\xC3\xA9 = \xE2\x82\xAC \xF0\x9F\x98\x80\r\nTab = a\\tb\\\\c\r\n");
}
