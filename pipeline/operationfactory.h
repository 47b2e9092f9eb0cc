#pragma once
// Turns the step at the creator's position into an operation, and the
// numbers the window and the copy steps need about the lists.

#include <memory>

#include "pipeline/basicoperation.h"

class Win7InsCreator;

// The operation for the step at creator.Index() in the mode's list. Making
// step 8 first copies the "efi" folder beside the program onto the target
// (64-bit sources only).
std::unique_ptr<BasicOperation> CreateOperation(Win7InsCreator& creator);

// The progress weight W(step) of a copy step: K x (the step's folder in MiB)
// / (all measured copy folders of the list in MiB), K the number of copy
// steps; 1.0 for any other step or when the folders hold less than 1 MiB.
double StepWeight(Win7InsCreator& creator, int step);

// Entries of the mode's list before the end mark; 0 for a mode without one.
int StepCount(int mode);

// Whether the mode's list formats a USB disk (step 5). A mode without a list
// is an internal error.
bool HasFormatStep(int mode);
