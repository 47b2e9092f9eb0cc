#include "drivers/libraryplace.h"

#include "platform/machine/machine.h"

namespace drivers {

LibraryPlace CurrentLibraryPlace() {
  const platform::Machine& machine = platform::CurrentMachine();
  LibraryPlace place;
  if (!machine.DriverLibrary().empty()) {
    place.folder = machine.DriverLibrary();
    place.system = false;
  } else {
    place.folder = kSystemLibrary;
  }
  place.samplesCount = machine.SampleDrivers();
  return place;
}

}  // namespace drivers
