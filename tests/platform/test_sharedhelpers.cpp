// The small helpers every layer shares: one lower-case rule whatever the
// locale, little-endian reads at any alignment, one descriptor owner.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <string>

#include "platform/littleendian.h"
#include "platform/lowercase.h"
#include "platform/uniquefd.h"

using namespace platform;

namespace {

TEST(LowerCase, GivesTheSameResultInEveryLocale) {
  struct Case {
    std::wstring in, out;
  } cases[] = {
      {L"Intel\\USB31\\X64\\IUSB3XHC.INF", L"intel\\usb31\\x64\\iusb3xhc.inf"},
      {L"\u00C9CRAN \u0414\u0420\u0410\u0419\u0412\u0415\u0420", L"\u00e9cran \u0434\u0440\u0430\u0439\u0432\u0435\u0440"},
      {L"[Strings] 0x1A", L"[strings] 0x1a"},
  };
  const std::string before = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "C.UTF-8"}) {
    std::setlocale(LC_ALL, locale);
    for (const Case& c : cases) EXPECT_EQ(LowerCase(c.in), c.out) << locale;
  }
  std::setlocale(LC_ALL, before.c_str());
  // Narrow text: A-Z only; bytes of UTF-8 characters stay as they are.
  EXPECT_EQ(LowerCase(std::string_view("\xC3\x89 Setup.EXE")), "\xC3\x89 setup.exe");
}

TEST(LittleEndian, ReadsAtAnyOffset) {
  const unsigned char bytes[] = {0xff, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
  EXPECT_EQ(ReadLe16(bytes + 1), 0x0201u);
  EXPECT_EQ(ReadLe32(bytes + 1), 0x04030201u);
  EXPECT_EQ(ReadLe64(bytes + 1), 0x8807060504030201ull);
  EXPECT_EQ(ReadLittleEndian(bytes + 1, 7), 0x07060504030201ull);
}

TEST(UniqueFd, ClosesOnceWhereverTheDescriptorMoves) {
  int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  {
    UniqueFd first(fd);
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first);
    first = std::move(second);
    EXPECT_EQ(first.get(), fd);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1);
  }
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  EXPECT_EQ(errno, EBADF);
  UniqueFd owner(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  EXPECT_TRUE(owner.Close());
  EXPECT_FALSE(owner);
  EXPECT_TRUE(owner.Close());  // nothing held: nothing to report
}

}  // namespace
