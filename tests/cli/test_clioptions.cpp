// The command's options and its terminal presenter of message boxes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

#include "platform/windows/window.h"
#include "tools/cli/clioptions.h"
#include "tools/cli/terminalboxes.h"

namespace {

struct OptionCase {
  std::vector<std::string> args;
  bool ok;
  std::wstring source, iso, usb;
  bool compatible;
  int answer;
  bool verify = true;
};

TEST(CliOptions, ParsesOneTargetAndRefusesTheRest) {
  const OptionCase cases[] = {
      {{"--iso", "G:\\iso"}, true, L"", L"G:\\iso", L"", false, 0},
      {{"--source", "e:", "--iso", "/srv/iso", "--compat", "--yes"}, true, L"E:\\", L"/srv/iso", L"", true, platform::IDYES},
      {{"--usb", "f:\\", "--no"}, true, L"", L"", L"F:\\", false, platform::IDNO},
      {{"--help"}, true, L"", L"", L"", false, 0},
      {{"--iso", "G:\\", "--no-verify"}, true, L"", L"G:\\", L"", false, 0, false},
      {{}, false},
      {{"--iso", "G:\\", "--usb", "F:"}, false},
      {{"--iso"}, false},
      {{"--iso", "G:\\", "--format-everything"}, false},
  };
  for (const OptionCase& c : cases) {
    CliOptions options;
    std::string error;
    const bool ok = ParseCliOptions(c.args, options, error);
    ASSERT_EQ(ok, c.ok) << ::testing::PrintToString(c.args) << error;
    if (!ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(options.source, c.source);
    EXPECT_EQ(options.isoFolder, c.iso);
    EXPECT_EQ(options.usbRoot, c.usb);
    EXPECT_EQ(options.compatible, c.compatible);
    EXPECT_EQ(options.answer, c.answer);
    EXPECT_EQ(options.verify, c.verify);
  }
}

// A pseudo-terminal stands for the person at the keyboard.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master_);
    ::unlockpt(master_);
    slave_ = std::fopen(::ptsname(master_), "r");
  }
  ~PseudoTerminal() {
    if (slave_) std::fclose(slave_);
    ::close(master_);
  }
  void Type(const std::string& text) { ASSERT_EQ(::write(master_, text.data(), text.size()), (ssize_t)text.size()); }
  std::FILE* in() { return slave_; }

 private:
  int master_ = -1;
  std::FILE* slave_ = nullptr;
};

struct BoxCase {
  const char* name;
  int given;          // --yes / --no / 0
  bool terminal;      // a person can answer
  std::string typed;  // what the person types
  platform::UINT type;
  int expected;
};

TEST(TerminalBoxes, QuestionsAreAnsweredByOptionTerminalOrSafelyNo) {
  const BoxCase cases[] = {
      {"given yes", platform::IDYES, false, "", platform::MB_YESNO, platform::IDYES},
      {"given no beats the terminal", platform::IDNO, true, "y\n", platform::MB_YESNO, platform::IDNO},
      {"no terminal", 0, false, "", platform::MB_YESNO, platform::IDNO},
      {"asks until y or n", 0, true, "maybe\n  Yes\n", platform::MB_YESNO, platform::IDYES},
      {"typed no", 0, true, "n\n", platform::MB_YESNO, platform::IDNO},
      {"ok/cancel", 0, true, "y\n", platform::MB_OKCANCEL, platform::IDOK},
      {"plain box needs no answer", 0, false, "", platform::MB_OK | platform::MB_ICONERROR, platform::IDOK},
  };
  for (const BoxCase& c : cases) {
    PseudoTerminal tty;
    std::FILE* out = std::tmpfile();
    std::FILE* pipeIn = std::tmpfile();
    Console console(out, out, c.terminal ? tty.in() : pipeIn);
    TerminalBoxes boxes(console, c.given);
    if (c.terminal) tty.Type(c.typed);
    EXPECT_EQ(platform::MessageBox(nullptr, L"Format confirm?", L"Warning", c.type), c.expected) << c.name;
    std::rewind(out);
    char text[512] = {};
    const size_t n = std::fread(text, 1, sizeof text - 1, out);
    EXPECT_NE(std::string(text, n).find("[Warning] Format confirm?"), std::string::npos) << c.name;
    std::fclose(out);
    std::fclose(pipeIn);
  }
}

}  // namespace
