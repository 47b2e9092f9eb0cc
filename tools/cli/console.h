#pragma once
// The terminal of kestrunex-cli: one lock for everything it writes, so the
// worker's questions and the main thread's progress never interleave, and
// the knowledge whether a person can see (a terminal) and answer (input
// from a terminal).

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

class Console {
 public:
  Console(std::FILE* out, std::FILE* err, std::FILE* in);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // A progress line: redrawn in place on a terminal, one line each else.
  void Progress(const std::wstring& line);
  // A line of its own on standard output or standard error (ends a
  // progress line drawn in place first).
  void Say(const std::wstring& line);
  void Complain(const std::wstring& line);
  // Ends a progress line drawn in place, so it stays on the screen.
  void Finish();
  // Writes the prompt and reads one line; false at end of input or when
  // interrupted. Ctrl+C while the question waits interrupts it: caught here
  // while SIGINT has its default action, else passed on by the thread that
  // waits for it, through Interrupt().
  bool Ask(const std::wstring& prompt, std::string& answer);
  // Ends a question that waits, and every later one, unanswered. Any thread.
  void Interrupt();
  bool Interrupted() const { return interrupted_; }

  bool OutputIsTerminal() const { return outTty_; }
  bool InputIsTerminal() const { return inTty_; }

 private:
  void EndProgressLine();

  std::mutex mutex_;
  std::FILE* out_;
  std::FILE* err_;
  std::FILE* in_;
  bool outTty_;
  bool inTty_;
  bool progressOpen_ = false;
  std::atomic<bool> interrupted_{false};
  int wake_[2] = {-1, -1};  // a pipe: Interrupt() writes, a waiting Ask wakes
};
