#include "tools/cli/console.h"

#include <unistd.h>

#include "platform/text.h"

Console::Console(std::FILE* out, std::FILE* err, std::FILE* in)
    : out_(out), err_(err), in_(in), outTty_(::isatty(::fileno(out)) == 1), inTty_(in && ::isatty(::fileno(in)) == 1) {}

void Console::EndProgressLine() {
  if (!progressOpen_) return;
  std::fputs("\n", out_);
  progressOpen_ = false;
}

void Console::Finish() {
  std::lock_guard lock(mutex_);
  EndProgressLine();
}

void Console::Progress(const std::wstring& line) {
  std::lock_guard lock(mutex_);
  if (outTty_) {
    // Carriage return, the line, then clear whatever a longer line left.
    std::fprintf(out_, "\r%s\x1b[K", platform::AnsiFromWide(line).c_str());
    progressOpen_ = true;
  } else {
    std::fprintf(out_, "%s\n", platform::AnsiFromWide(line).c_str());
  }
  std::fflush(out_);
}

void Console::Say(const std::wstring& line) {
  std::lock_guard lock(mutex_);
  EndProgressLine();
  std::fprintf(out_, "%s\n", platform::AnsiFromWide(line).c_str());
  std::fflush(out_);
}

void Console::Complain(const std::wstring& line) {
  std::lock_guard lock(mutex_);
  EndProgressLine();
  std::fflush(out_);
  std::fprintf(err_, "kestrunex-cli: %s\n", platform::AnsiFromWide(line).c_str());
  std::fflush(err_);
}

bool Console::Ask(const std::wstring& prompt, std::string& answer) {
  std::lock_guard lock(mutex_);
  EndProgressLine();
  std::fprintf(out_, "%s ", platform::AnsiFromWide(prompt).c_str());
  std::fflush(out_);
  answer.clear();
  if (!in_) return false;
  for (int c; (c = std::fgetc(in_)) != EOF;) {
    if (c == '\n') return true;
    answer += static_cast<char>(c);
  }
  return !answer.empty();
}
