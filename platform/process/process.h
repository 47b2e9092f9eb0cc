#pragma once
// Child processes, anonymous pipes, manual-reset events and the machine-wide
// named lock, in the system's terms. Both external tools the system runs go
// through here: the ISO tool (output read through a pipe, terminated on
// cancel) and the disk tool ("diskpart /s <file>", waited for).
//
// Command lines are Windows command lines. How one splits into arguments:
//   - blanks (space, tab) separate arguments outside double quotes;
//   - a double quote opens or closes a quoted run and is not part of the
//     argument; "" inside a quoted run is one literal quote;
//   - a backslash is always a path character. The C runtime's rule
//     (backslash-quote is a literal quote) is not applied, because the ISO
//     tool's line ends a quoted folder with a backslash right before the
//     closing quote ("...\OvantaToolTmp0\") and must still read as two
//     arguments.
// The first argument names the program: a Windows path (mapped to the host
// file by the layer) or a bare tool name such as "diskpart" (the system's
// tool of that name: see ResolveProgram).
//
// Thread rules: every object may be used from any thread; one Process,
// Pipe or Event may be shared between threads (the ISO runner reads on one
// thread while another signals the cancel event and terminates the tool).

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/types.h"
#include "platform/uniquefd.h"

namespace platform {

inline constexpr DWORD STILL_ACTIVE = 259;
inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD ERROR_BROKEN_PIPE = 109;
// The longest command line the start service takes is one character less.
inline constexpr std::size_t kMaxCommandLine = 2048;

// The arguments of a command line by the rule above.
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);

// The host file a program argument names: a Windows path through the drive
// namespace; a bare name through the system's tool folders. Empty with the
// last error 2 when there is no such program (5 when the file is there but
// cannot be run).
//
// A bare name ("diskpart", "diskpart.exe") is one of the program's own
// tools: the program folder's <name> (without ".exe": how our stand-ins are
// installed beside the program), then its <name>.exe. Neither the machine's
// System32 (it lives in the prefix) nor the host's PATH is searched: a
// program running as root runs nothing another user could have put there.
std::string ResolveProgram(const std::wstring& program);

// For the object's lifetime, bare tool names of this process resolve in
// folder (a system path) instead of the program folder: tests put stand-ins
// or wrappers of a tool there. Only code in this process can set it.
class ScopedToolFolder {
 public:
  explicit ScopedToolFolder(const std::wstring& folder);
  ~ScopedToolFolder();
  ScopedToolFolder(const ScopedToolFolder&) = delete;
  ScopedToolFolder& operator=(const ScopedToolFolder&) = delete;

 private:
  std::wstring previous_;
};

// An anonymous pipe: the child writes, we read.
class Pipe {
 public:
  Pipe() = default;
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  // Makes the pipe with a buffer of at least bufferSize bytes (the host may
  // round or cap it). False with the last error set when it cannot be made.
  [[nodiscard]] bool Create(std::size_t bufferSize);
  // Reads up to size bytes; blocks until data arrives or every write end
  // is closed. False (error 109, broken pipe) at end of data; 0 bytes read
  // is never reported as success.
  [[nodiscard]] bool Read(void* buffer, DWORD size, DWORD* read);
  // Closes our copy of the write end (after the child has its own), so the
  // reader sees end of data when the child ends.
  void CloseWriteEnd();
  // WAIT_OBJECT_0 when a Read would not block (data, or end of data) within
  // ms milliseconds, WAIT_TIMEOUT otherwise, WAIT_FAILED without a pipe.
  // Lets a reader look at the child and a cancel between reads.
  DWORD WaitForData(DWORD ms);

  int ReadFd() const { return readFd_.get(); }
  int WriteFd() const { return writeFd_.get(); }

 private:
  UniqueFd readFd_;
  UniqueFd writeFd_;
};

// A manual-reset event.
class Event {
 public:
  explicit Event(bool signalled = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  void Set();
  void Reset();
  bool IsSet() const;
  // WAIT_OBJECT_0 when signalled within ms milliseconds, else WAIT_TIMEOUT.
  DWORD Wait(DWORD ms) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

struct StartInfo {
  // Standard output and error both go to this pipe's write end; null: the
  // child inherits nothing (it writes to /dev/null).
  Pipe* output = nullptr;
  // Hidden: no console window (the only kind the system makes). A hidden
  // child also stays out of the terminal's reach: it runs in its own
  // process group, so Ctrl+C goes to us and we decide whether to stop it.
  bool hidden = true;
};

// A started child process. The destructor neither waits for nor kills it:
// a tool that outlives its Process object keeps running, as on the system
// (callers that must not leave one behind terminate it first). It does not
// outlive the thread that started it, nor a program killed outright: the
// kernel ends it then (PR_SET_PDEATHSIG), so start a tool on a thread that
// lives until the tool ends.
class Process {
 public:
  Process() = default;
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts the command line (never through a shell) in the caller's
  // current folder and environment, on this process's machine: the child's
  // KESTRUNEX_PREFIX names the current machine's prefix, so a tool sees the
  // drives its caller sees (a machine read from a profile other than its
  // prefix's machine.ini is not passed on). False with the last error (2 no such
  // program, 5 not executable, 206 line of 2,048 characters or more).
  [[nodiscard]] bool Start(const std::wstring& commandLine, const StartInfo& info);
  // The exit code, STILL_ACTIVE (259) while the child runs; false when no
  // child was started. A child killed by a signal reports 128 + signal.
  [[nodiscard]] bool GetExitCode(DWORD* code);
  // WAIT_OBJECT_0 when the child has ended within ms, else WAIT_TIMEOUT.
  DWORD Wait(DWORD ms);
  // Ends the child at once with the given exit code (as reported later by
  // GetExitCode). False when it had already ended or never started.
  bool Terminate(DWORD exitCode);
  bool Started() const { return pid_ > 0; }

 private:
  // Collects the child's end when it has ended (or waits for it); true
  // once it is collected. Called with mutex_ held.
  bool ReapLocked(bool block);

  std::mutex mutex_;
  int pid_ = -1;
  int pidFd_ = -1;
  bool reaped_ = false;
  DWORD exitCode_ = STILL_ACTIVE;
  bool terminatedWithCode_ = false;
  DWORD terminateCode_ = 0;
};

// The machine-wide named lock ("KESTRUNE"): held by one process of the
// machine at a time, released when the process ends however it ends (even
// killed). Held for the object's lifetime.
//
// The lock is a UNIX socket bound to the abstract name "kestrunex-<name>"
// (no file: nothing another user can link, fill or replace). Every process
// of the machine's network namespace shares it, root's and other users'
// alike: the first to bind it holds it. A test build may append a suffix
// to every name (the CMake option KX_LOCK_NAME_SUFFIX) so that builds run
// side by side; a separate network namespace (unshare -n) does the same.
class NamedMutex {
 public:
  explicit NamedMutex(const std::wstring& name);
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;
  // True when this object holds the lock; false when another process does
  // (the last error is then 183, ERROR_ALREADY_EXISTS).
  bool Owned() const { return fd_ >= 0; }
  // The process holding the lock when this object could not take it (0
  // when not known).
  int Holder() const { return holder_; }
  // The abstract socket name that carries the lock of that name, without
  // its leading NUL (/proc/net/unix shows it after an "@").
  static std::string SocketName(const std::wstring& name);

 private:
  int fd_ = -1;
  int holder_ = 0;
};

}  // namespace platform
