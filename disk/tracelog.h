#pragma once
// The diagnostic trace log, "RAREzodav.log" in the application data folder.
//
// One line per call: "hh:mm:ss.mmm message" with carriage return and line
// feed. The message is written verbatim (a percent sign included), cut to
// 1023 characters; characters U+0000..U+00FF are written as that single
// byte, any other as '?'. The file is opened, appended to and closed for
// every line, so any thread may call it; a line that cannot be written is
// dropped silently.
//
// The log's folder is kept open (again when it is no longer the folder at
// its path) and the log opened in it for each line without following a
// link; anything but a regular file there takes no line. When the prefix
// belongs to the user root runs for, the folder and the log are opened as
// that user (platform/invoker), so a log replaced by a link, or a folder
// replaced on the way, never turns a line into a write the user could not
// make.

#include <string>

void TraceLog(const std::wstring& message);

// The log file's system path, fixed on the first TraceLog call of the process.
std::wstring TraceLogPath();
