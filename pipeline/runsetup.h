#pragma once
// The start of a run, the same for both front ends: the work folder for a
// source of sourceMB beside the target, the run's OS folder from the driver
// library, and the run's settings record filled from them. The record's
// fields and the mode, then which of this computer's USB controllers the
// run's packages drive, are then written to the trace log by WriteRunStart,
// the one place where a run's first trace lines are written.

#include <string>

#include "pipeline/win7operatinfo.h"

enum class RunSetupResult {
  Ready,            // info is filled: the worker may start
  NoWorkFolder,     // no drive has room: warn with SpaceNeededMB
  NoRunOsFolder,    // the run's OS folder could not be made: why says so
  IsoFolderNotWritable,  // the ISO folder takes no file: why names the error
};

struct RunSetup {
  RunSetupResult result = RunSetupResult::NoWorkFolder;
  WIN7_OPERAT_INFO info{};
  // The work folder made (also when the OS folder then failed: the front
  // end removes it as at the end of a run); empty when none was found.
  std::wstring workFolder;
  std::wstring why;  // NoRunOsFolder: what failed, as the driver library says it
  // ISO mode: the image's temporary file, made first (also when a later
  // part failed: the front end removes it with the work folder).
  std::wstring isoTempFile;
};

// source: the source drive's root; target: the USB root (any text that
// begins with it, such as a list entry) in USB mode, the ISO folder ending
// in a backslash in ISO mode. In ISO mode the image's temporary file is
// made in the ISO folder before anything else. Never throws.
RunSetup PrepareRun(const std::wstring& source, const std::wstring& target, int mode, int sourceMB);

// The end of every run that PrepareRun began, whatever its outcome: the
// work folder removed (what cannot be removed emptied), and the image's
// temporary file if the run did not turn it into the image.
void EndRunFolders(const RunSetup& setup);

// The run's first trace lines: every field of the record, then the mode.
void WriteRunStart(const WIN7_OPERAT_INFO& info, int mode);
