#pragma once
// The process-wide step lists, one per mode, each closed by the end mark -1:
//   mode 0 (USB): 5, 8, 9, 7, 19, -1
//   mode 1 (ISO): 6, 3, 20, 16, 4, -1
// The compatibility substitution (16 -> 17, 7 -> 18) changes the table in
// place for the rest of the process. Reads and the substitution are
// serialised, so the window thread may ask while a worker substitutes.

#include <vector>

inline constexpr int kEndMark = -1;
inline constexpr int kModeUsb = 0;
inline constexpr int kModeIso = 1;
inline constexpr int kModeCount = 2;

// A copy of the mode's list including the end mark; empty for a mode
// without a list.
std::vector<int> StepList(int mode);

// Replaces every step that has a compatibility substitute in the step table
// by it: 16 by 17 and 7 by 18.
void SubstituteInstallWimSteps(int mode);

// Puts both lists back as the program starts with them. Only tests need it:
// the program itself never undoes a substitution.
void ResetStepListsForTesting();
