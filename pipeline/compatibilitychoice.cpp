#include "pipeline/compatibilitychoice.h"

#include "disk/mediumutils.h"
#include "drivers/runosfolder.h"
#include "pipeline/jobchecks.h"

bool CompatibilityForced(const std::wstring& source) {
  return IsEmbeddedEdition(source) || drivers::LibraryHoldsStorage(SourceIs64Bit(source));
}
