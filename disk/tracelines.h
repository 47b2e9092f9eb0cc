#pragma once
// The trace lines other programs read back: an interface, not free text.
//
// Every line of the trace log is "hh:mm:ss.mmm " followed by the message
// and "\r\n" (disk/tracelog.h). A run ends with exactly one of the three
// end lines below, written by the worker thread after the last operation.
// kestrunex-cli names the reason for a failed run from the log alone: the
// last line before the run's final kRunFailedLine that is neither
// - an end line of an earlier run (they all start with kRunEndTag),
// - an operation's release line (ends with kReleaseSuffix), nor
// - a caller's line that only repeats a failure below it (ends with
//   kRepeatedFailureSuffix: "[ISOOperation- RunOperate] is fail").
// So the line that says what went wrong is written by the code that saw it
// fail, before any of those, and does not itself end in "is fail".

#include <string_view>

// Narrow text: what the log file holds (one byte per character).
inline constexpr std::string_view kRunEndTag = "[UpdateResult]";
inline constexpr std::string_view kRunSucceededLine = "[UpdateResult] finish_Success";
inline constexpr std::string_view kRunFailedLine = "[UpdateResult] finish_Fail";
inline constexpr std::string_view kRunCancelledLine = "[UpdateResult] Finish_UserCancel";
inline constexpr std::string_view kReleaseSuffix = "::Release";
inline constexpr std::string_view kRepeatedFailureSuffix = "is fail";

// The same end lines as the writer passes them to TraceLog.
inline constexpr std::wstring_view kRunSucceededTrace = L"[UpdateResult] finish_Success";
inline constexpr std::wstring_view kRunFailedTrace = L"[UpdateResult] finish_Fail";
inline constexpr std::wstring_view kRunCancelledTrace = L"[UpdateResult] Finish_UserCancel";
