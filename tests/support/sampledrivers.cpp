#include "sampledrivers.h"

#include <gtest/gtest.h>

#include "drivers/driverlibrary.h"
#include "drivers/packagescan.h"
#include "drivers/runosfolder.h"
#include "platform/text.h"

namespace kxtest {

void AddSampleDrivers() {
  drivers::DriverLibrary library(drivers::CurrentLibraryPlace());
  // Tests change only a library of their own machine.
  ASSERT_FALSE(library.Place().system) << "the test machine's profile names no driver library";
  std::vector<drivers::FoundPackage> found;
  std::vector<drivers::Refusal> refused;
  drivers::ScanFolder(KX_SAMPLE_DRIVERS, found, refused);
  EXPECT_TRUE(refused.empty()) << refused.front().file << ": " << refused.front().detail;
  for (const auto& package : found) {
    std::string error;
    EXPECT_NE(library.Add(package, KX_SAMPLE_DRIVERS, true, error), drivers::AddOutcome::Failed) << error;
  }
}

std::wstring SampleRunOsFolder(bool is64) {
  AddSampleDrivers();
  std::wstring error;
  const std::wstring folder = drivers::PrepareRunOsFolder(is64, error);
  EXPECT_FALSE(folder.empty()) << platform::AnsiFromWide(error);
  return folder;
}

}  // namespace kxtest
