#pragma once
// Where kestrunex-cli works. Every path argument is made absolute against
// the folder the user typed it in, then the program's own folder becomes the
// current folder, as the wizard's is: the files a job makes in its current
// folder (the disk tool's script) then live where only the program's owner
// can write, never in a folder another user could swap them in.

#include <string>

#include "tools/cli/clioptions.h"

// False when the program folder cannot be entered.
bool AnchorArgumentsAndEnterProgramFolder(CliOptions& options);

// The prefix this run uses, checked (missing, or not to be trusted: see
// platform/machine/prefixtrust.h); false with the reason in *reason.
bool CheckPrefix(const CliOptions& options, std::string* reason);
