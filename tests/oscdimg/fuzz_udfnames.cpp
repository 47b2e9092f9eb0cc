// Names of the source tree as the UDF side encodes them: host names are
// bytes that need not be valid UTF-8. Whatever the bytes, the encoding is
// either refused (empty) or a compression id with whole characters, and a
// d-string field never takes more than its size.
#include "kxfuzz.h"
#include "tools/oscdimg/udfformat.h"

KX_FUZZ_TARGET {
  const std::string name = kxfuzz::Bytes(data, size);
  const std::vector<std::uint8_t> encoded = oscdimg::udf::CompressedUnicode(name);
  if (!encoded.empty()) {
    KX_FUZZ_CHECK(encoded[0] == 8 || encoded[0] == 16);
    if (encoded[0] == 16) KX_FUZZ_CHECK(encoded.size() % 2 == 1);
    KX_FUZZ_CHECK(encoded.size() - 1 <= 2 * name.size());
  }
  for (std::size_t field : {std::size_t{32}, std::size_t{128}}) {
    oscdimg::udf::Block block(field + 8, 0xAB);
    std::fill(block.begin(), block.begin() + static_cast<long>(field), 0);
    oscdimg::udf::PutDString(block, 0, field, name);
    for (std::size_t i = field; i < block.size(); ++i) KX_FUZZ_CHECK(block[i] == 0xAB);
    KX_FUZZ_CHECK(block[field - 1] <= field - 1);
  }
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back("bootmgr.efi");
  seeds.push_back("Pr\xC3\xBC" "fung \xE6\x97\xA5\xE6\x9C\xAC.txt");
  seeds.push_back("\xF0\x9F\x98\x80 smile");
  seeds.push_back(std::string(300, 'n'));
}
