#pragma once
// One run of the ISO tool: from parsed options to a finished image file.
//
// Exit codes (few and documented, the system reads only zero/non-zero):
//   0  the image was written
//   1  the image could not be made (missing source or boot file, unreadable
//      source, unwritable target, full disk); no image file is left behind
//   2  the command line is not one this tool takes

#include <cstdio>
#include <functional>
#include <string>

#include "tools/oscdimg/options.h"

namespace oscdimg {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Receives the percentage written (0..100, only ever growing). 100 is
// reported once the image file is complete and closed.
using ProgressSink = std::function<void(int percent)>;

// Writes "NN% complete" lines (the number right-aligned in three places,
// one line per new value) on out, flushed at once: the system reads them
// through a pipe while the tool runs.
ProgressSink CompleteLines(std::FILE* out);

// Makes the image. Failures print one line "oscdimg: error: ..." on err.
int RunTool(const Options& options, const ProgressSink& progress, std::FILE* err);

// The text of --help.
const char* UsageText();

}  // namespace oscdimg
