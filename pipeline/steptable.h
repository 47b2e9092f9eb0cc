#pragma once
// The steps of a run by name, and the one table that says what each does:
// the kind of operation, where it reads and writes, which copy folder its
// progress weight is measured by, and which step stands for it in
// compatibility mode. The factory, the step weights, the substitution and
// HasFormatStep all read this table; the values are the step numbers of the
// lists, of the trace and of the tests.

enum Step : int {
  kStepCheck = 1,
  kStepCopyWorkToTarget = 2,
  kStepBootWimInWork = 3,
  kStepMakeIso = 4,
  kStepFormatStick = 5,
  kStepCopySourceToWork = 6,
  kStepCopyOsToTarget = 7,
  kStepCopySourceToTarget = 8,  // after the "efi" folder (64-bit sources)
  kStepBootWimOnTarget = 9,
  kStepCopyOsToWork = 16,
  kStepInstallWimInWork = 17,
  kStepInstallWimOnTarget = 18,
  kStepCopyOtherToTarget = 19,
  kStepCopyOtherToWork = 20,
};

enum class StepKind {
  Check,              // does nothing and succeeds
  CopyTree,           // copies the source folder's tree into the target
  ServiceBootWim,     // adds the drivers to sources\boot.wim under the target
  ServiceInstallWim,  // the same for sources\install.wim
  MakeIso,            // builds the ISO image of the source folder into the target
  FormatStick,        // prepares the USB disk at the target
};

// The run's folders a step reads or writes.
enum class StepPlace {
  None,
  Source,        // the source drive's root
  Work,          // the work folder
  Target,        // the USB root or the ISO folder
  Drivers,       // the staged drivers (data folder + "U3")
  ImageDrivers,  // the run's OS folder
  Other,         // the program's Other folder of the source's architecture
};

// The folder measured for a copy step's share of the progress bar; None
// for a step whose weight is 1.0.
enum class WeightGroup { None, Source, ImageDrivers, Other };

struct StepRow {
  Step step;
  StepKind kind;
  StepPlace source;
  StepPlace target;
  WeightGroup weight;
  int substitute;  // the step that replaces it in compatibility mode; 0 for none
};

// The row of a step number; null for the end mark and any number without one.
const StepRow* FindStep(int step);
