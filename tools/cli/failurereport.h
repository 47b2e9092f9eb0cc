#pragma once
// What kestrunex-cli says when a run fails: the step that failed (its status
// text, as the run page showed it) and the last line that step wrote to the
// trace log, so the user has a reason without opening the log.

#include <string>
#include <string_view>

#include "tools/cli/console.h"

// The last line of the trace log's text before the run's final
// "[UpdateResult] finish_Fail", leaving out the operations' release lines
// ("...::Release") and the callers' "... is fail" lines that only repeat a
// failure below them; empty when there is none.
std::string LastStepTraceLine(std::string_view log);

// Reads the end of the trace log at its host path and complains with the
// step and the line.
void ReportFailedStep(Console& console, const std::wstring& stepStatus, const std::string& logHostPath);
