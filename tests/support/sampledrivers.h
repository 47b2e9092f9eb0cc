#pragma once
// The program's sample driver packages for tests: added to the current
// machine's library (a test machine's own, see testmachine.h), and a run's
// OS folder made from it as a run's start makes it.

#include <string>

namespace kxtest {

// Adds every sample package (as `drivers add --sample` does); fails the
// test when one is refused.
void AddSampleDrivers();
// AddSampleDrivers, then the run's OS folder for the architecture; its
// system path (C:\ProgramData\Ovanta\Kestrunex\OS).
std::wstring SampleRunOsFolder(bool is64);

}  // namespace kxtest
