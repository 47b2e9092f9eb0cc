#pragma once
// How unpacking a driver download ended: a closed set, one translated
// message each (the front end's table), plus what the message names.

#include <atomic>
#include <cstdint>
#include <string>

namespace drivers {

enum class UnpackCode {
  Ok,
  NotAnArchive,   // no reader of ours opens it
  UnsafeName,     // an absolute name, "..", an empty or control-character name
  UnreadableName, // a name that cannot be read as text (detail: its bytes in hex)
  WindowsName,    // a name Windows cannot hold (detail: the name, printable)
  Link,           // a symbolic or hard link, a device, a pipe
  TooLarge,       // the members hold more than the cap, or one says less than it holds
  TooMany,        // more members than the cap
  Damaged,        // the reader stopped in the middle
  WriteFailed,    // the temporary folder could not take a member
  ToolFailed,     // msiextract missing or failed
  Unreadable,     // a member the user who started the program cannot read
  Stopped,        // the caller asked to stop (an interruption)
};

struct UnpackResult {
  UnpackCode code = UnpackCode::Ok;
  std::string detail;  // the member's name or the reader's own message
  bool ok() const { return code == UnpackCode::Ok; }
};

// Caps for everything unpacked from one download. Real USB 3.0 driver
// downloads hold some 10 to 60 MiB in a few hundred files.
struct UnpackLimits {
  std::uint64_t maxTotalBytes = 1024ull << 20;
  std::uint64_t maxMembers = 20000;
  const std::atomic<bool>* stop = nullptr;  // looked at between blocks
};

// A member name (UTF-8; '/' and '\' both separators) made relative and
// checked: UnsafeName for absolute names, "..", empty names, control
// characters; WindowsName for a component Windows cannot hold
// (platform/windowsname.h); else Ok. out: the '/'-separated relative path.
UnpackCode SafeMemberName(const std::string& name, std::string& out);

}  // namespace drivers
