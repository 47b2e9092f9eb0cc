// The tool's command line: the system's two lines as the process service
// splits them (quotes removed) and as written (quotes kept), and the lines
// it must refuse with a message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/oscdimg/options.h"

namespace {

using oscdimg::Options;
using oscdimg::ParseOptions;

const std::string kEtfs = R"(Z:\prog\Oscdimg_amd64\Oscdimg\etfsboot.com)";
const std::string kEfisys = R"(Z:\prog\Oscdimg_amd64\Oscdimg\efisys.bin)";

std::vector<std::string> SystemLine(const std::string& bootdata) {
  return {"-lWIN7", "-m", "-o", "-u1", "-udfver102", bootdata, R"(D:\OvantaToolTmp0\)", R"(E:\Out\LABEL.iso)"};
}

TEST(OscdimgOptions, TheSystemsLinesReadTheSameWithOrWithoutQuotes) {
  for (const std::string& q : {std::string(), std::string("\"")}) {
    Options o;
    std::string error;
    ASSERT_TRUE(ParseOptions(SystemLine("-bootdata:2#p0,e,b" + q + kEtfs + q + "#pEF,e,b" + q + kEfisys + q), &o, &error))
        << error;
    EXPECT_EQ(o.label, "WIN7");
    EXPECT_TRUE(o.ignoreSizeLimit && o.storeDuplicatesOnce && o.udf && o.udf102);
    ASSERT_EQ(o.boot.size(), 2u);
    EXPECT_EQ(o.boot[0].platformId, 0x00);
    EXPECT_EQ(o.boot[0].file, kEtfs);
    EXPECT_EQ(o.boot[1].platformId, 0xEF);
    EXPECT_EQ(o.boot[1].file, kEfisys);
    EXPECT_EQ(o.source, R"(D:\OvantaToolTmp0\)");
    EXPECT_EQ(o.target, R"(E:\Out\LABEL.iso)");

    ASSERT_TRUE(ParseOptions(SystemLine("-bootdata:1#p0,e,b" + q + kEtfs + q), &o, &error)) << error;
    ASSERT_EQ(o.boot.size(), 1u);
    EXPECT_EQ(o.boot[0].file, kEtfs);
  }
}

TEST(OscdimgOptions, AQuotedBootFileMayHoldTheSeparators) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions({"-bootdata:1#p0,e,b\"C:\\a#b,c\\etfsboot.com\"", "src", "out.iso"}, &o, &error)) << error;
  EXPECT_EQ(o.boot[0].file, "C:\\a#b,c\\etfsboot.com");
}

TEST(OscdimgOptions, HelpNeedsNoPaths) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions({"--help"}, &o, &error));
  EXPECT_TRUE(o.help);
}

struct Refused {
  const char* label;
  std::vector<std::string> args;
  const char* message;  // part of the message
};

void PrintTo(const Refused& r, std::ostream* os) { *os << r.label; }

class OscdimgRefuses : public testing::TestWithParam<Refused> {};

TEST_P(OscdimgRefuses, WithAMessageNamingTheProblem) {
  Options o;
  std::string error;
  EXPECT_FALSE(ParseOptions(GetParam().args, &o, &error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, OscdimgRefuses,
    testing::Values(
        Refused{"UnknownOption", {"-x", "a", "b"}, "unknown option -x"},
        Refused{"UnknownUdfLevel", {"-u2", "a", "b"}, "unknown option -u2"},
        Refused{"LabelTooLong", {"-lABCDEFGHIJKLMNOPQRSTUVWXYZ0123456", "a", "b"}, "longer than 32"},
        Refused{"EmptyLabel", {"-l", "a", "b"}, "-l needs a label"},
        Refused{"TooFewBootEntries", {"-bootdata:2#p0,e,bX", "a", "b"}, "exactly 2 entries"},
        Refused{"TooManyBootEntries", {"-bootdata:3#p0,e,bX#pEF,e,bY#pEF,e,bZ", "a", "b"}, "1 or 2 entries"},
        Refused{"BiosEntryNotFirst", {"-bootdata:1#pEF,e,bX", "a", "b"}, "first -bootdata entry must be the BIOS"},
        Refused{"UefiEntryNotSecond", {"-bootdata:2#p0,e,bX#p0,e,bY", "a", "b"}, "second -bootdata entry must be the UEFI"},
        Refused{"EmulationMissing", {"-bootdata:1#p0,bX", "a", "b"}, "no-emulation"},
        Refused{"BootFileMissing", {"-bootdata:1#p0,e", "a", "b"}, "needs a boot file"},
        Refused{"BadPlatformId", {"-bootdata:1#pZZ,e,bX", "a", "b"}, "invalid platform id"},
        Refused{"UnknownBootField", {"-bootdata:1#p0,t,bX", "a", "b"}, "unsupported -bootdata field"},
        Refused{"NoTarget", {"a"}, "give a source folder and a target file"},
        Refused{"ExtraArgument", {"a", "b", "c"}, "unexpected argument c"}),
    [](const testing::TestParamInfo<Refused>& info) { return std::string(info.param.label); });

}  // namespace
