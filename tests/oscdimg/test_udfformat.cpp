// The byte formats of the UDF side: the descriptor CRC, tags, and names in
// OSTA compressed Unicode.
#include <gtest/gtest.h>

#include <cstring>

#include "tools/oscdimg/udfformat.h"

namespace {

using namespace oscdimg::udf;

TEST(UdfFormat, CrcIsCcittWithZeroStart) {
  const char* check = "123456789";
  EXPECT_EQ(Crc(reinterpret_cast<const std::uint8_t*>(check), std::strlen(check)), 0x31C3);
}

TEST(UdfFormat, TagCarriesCrcOfBodyAndChecksumOfItself) {
  Block b(kBlock, 0);
  b[16] = 0x5A;
  FinishTag(b, 0, kFileEntry, 176, 1234);
  EXPECT_EQ(b[0] | (b[1] << 8), 261);
  EXPECT_EQ(b[2], 2);
  EXPECT_EQ(b[8] | (b[9] << 8), Crc(b.data() + 16, 160));
  EXPECT_EQ(b[10] | (b[11] << 8), 160);
  EXPECT_EQ(b[12] | (b[13] << 8) | (b[14] << 16) | (b[15] << 24), 1234);
  std::uint8_t sum = 0;
  for (int i = 0; i < 16; ++i)
    if (i != 4) sum = static_cast<std::uint8_t>(sum + b[i]);
  EXPECT_EQ(b[4], sum);
}

struct NameCase {
  const char* label;
  const char* utf8;
  std::vector<std::uint8_t> encoded;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

class UdfNames : public testing::TestWithParam<NameCase> {};

TEST_P(UdfNames, UseEightBitsWhereEveryCharacterFitsElseSixteen) {
  EXPECT_EQ(CompressedUnicode(GetParam().utf8), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Names, UdfNames,
    testing::Values(NameCase{"Ascii", "bootmgr", {8, 'b', 'o', 'o', 't', 'm', 'g', 'r'}},
                    NameCase{"Latin1", "Pr\xC3\xBC" "f", {8, 'P', 'r', 0xFC, 'f'}},
                    NameCase{"Cjk", "\xE6\x97\xA5" "a", {16, 0x65, 0xE5, 0x00, 'a'}},
                    NameCase{"BeyondBmp", "\xF0\x9F\x98\x80", {16, 0xD8, 0x3D, 0xDE, 0x00}},
                    NameCase{"CutSequence", "bad\xC3", {}}, NameCase{"StrayContinuation", "bad\x80x", {}}),
    [](const testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

TEST(UdfFormat, DStringIsCutToFitAndEndsInItsLength) {
  Block b(64, 0xEE);
  std::fill(b.begin(), b.end(), 0);
  PutDString(b, 0, 8, "ABCDEFGHIJ");
  EXPECT_EQ(b[0], 8);
  EXPECT_EQ(std::string(b.begin() + 1, b.begin() + 7), "ABCDEF");
  EXPECT_EQ(b[7], 7);
}

}  // namespace
