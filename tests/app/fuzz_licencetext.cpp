// Licence text files named by config.xml: any bytes, with or without a
// byte-order mark, decode to text with line feeds only.
#include <QByteArray>
#include <QString>

#include "app/tdlgeula.h"
#include "kxfuzz.h"

KX_FUZZ_TARGET {
  const QString text = TdlgEULA::DecodeLicenceText(QByteArray(reinterpret_cast<const char*>(data), size));
  KX_FUZZ_CHECK(!text.contains(QChar(u'\r')));
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back("\xEF\xBB\xBFLicence\r\n1. Use\r\n\r\n2. Copy\r\n");
  seeds.push_back(std::string("\xFF\xFEL\0i\0\r\0\n\0\x3D\xD8\x00\xDE", 14));  // a surrogate pair
  seeds.push_back(std::string("\xFE\xFF\0O\0K\0\r", 8));
  seeds.push_back("plain\rold\rmac\rlines\n");
}
