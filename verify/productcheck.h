#pragma once
// The read-back check of a run's product, the same in both front ends: after
// the last step, once the job has released the stick and before the work
// folder goes (an ISO's serviced WIMs are compared with the copies that went
// into it), the product is read back from its medium and checked against
// what the run wrote (mediaverifier.h).
//
// Thread rules: made on the window thread before the run starts; Run is
// called on the worker thread after the chain.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "pipeline/win7operatinfo.h"
#include "verify/verifyplan.h"

class ProductCheck {
 public:
  enum class Outcome { Passed, Failed, Cancelled };

  // The run's record and mode (0 USB, 1 ISO); an ISO run's folder is looked
  // at now, so the image the run adds can be told apart. What the run wrote
  // is read from the mode's step list when Run is called.
  ProductCheck(const WIN7_OPERAT_INFO& info, int mode);

  // Reads the product back. say gets the line that starts the check; the
  // line of the result (what was checked, or the first fault with what
  // differed) is Line() afterwards. A set cancel flag ends the check early
  // (Cancelled), its mounts released.
  Outcome Run(const std::function<void(const std::wstring&)>& say, const std::atomic<bool>& cancel);
  const std::wstring& Line() const { return line_; }

  // ISO mode: the host names of the images the run added to the folder.
  std::vector<std::string> NewIsoFiles() const;
  const std::string& IsoFolderHost() const { return isoFolderHost_; }

 private:
  int mode_;
  verify::RunShape run_;
  wchar_t letter_ = 0;
  std::string isoFolderHost_;
  std::vector<std::string> isoFilesBefore_;
  std::wstring line_;
};
