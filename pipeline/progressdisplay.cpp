#include "pipeline/progressdisplay.h"

#include "pipeline/operationfactory.h"
#include "pipeline/opmessages.h"

namespace {
// The fixed steps of a driver injection per image: mount, commit, unmount.
constexpr int kDismPhases = 3;
constexpr int kFull = 100;
}  // namespace

ProgressDisplay& ProgressDisplay::Instance() {
  static ProgressDisplay display;
  return display;
}

void ProgressDisplay::Reset() { *this = ProgressDisplay(); }

void ProgressDisplay::OnImages(platform::LPARAM images) {
  imageDivisor_ = kDismPhases * static_cast<int>(images);
}

int ProgressDisplay::OnState(int mode, int state, platform::LPARAM value) {
  if (steps_ == 0) steps_ = StepCount(mode);
  // A mode without a list, or a WM_OPIMAGES of 0 images, would divide by
  // zero: such a state moves nothing.
  const int n = steps_;
  const int i = imageDivisor_;
  const int v = static_cast<int>(value);
  int part = 0;
  switch (state) {
    case kStateFormat:
    case kStateGeneratingIso:
      if (n) part = v / n;
      break;
    case kStateFormatSuccess:
      if (n) total_ += kFull / n;
      break;
    case kStateCopyOS:
    case kStateCopy:
      if (n) part = v / n;
      lastCopy_ = part;
      break;
    case kStateCopySuccess:
      total_ += lastCopy_;
      lastCopy_ = 0;
      break;
    case kStateMount:
    case kStateCommit:
    case kStateUnmount:
      if (n && i) part = v / i / n;
      break;
    case kStateMountSuccess:
    case kStateCommitSuccess:
    case kStateUnmountSuccess:
      if (n && i) total_ += kFull / n / i;
      break;
    case kStateCancel:
      total_ = 0;
      break;
    case kStateFinish:
      total_ = 0;
      part = kFull;
      break;
    default:
      break;
  }
  return total_ + part;
}
