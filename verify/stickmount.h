#pragma once
// The stick's volume mounted afresh for the read-back check: the job wrote
// the stick out and released it, so the check reads through a new loop
// device and file-system daemon, nothing of the job's caches. The mount is
// written into the volume record with this process as its owner, like the
// job's, so a check killed outright leaves nothing the next run of the disk
// tool does not release; the destructor releases it.

#include <string>

#include "platform/disks/volumerecord.h"

namespace verify {

class StickMount {
 public:
  explicit StickMount(wchar_t letter);
  ~StickMount();
  StickMount(const StickMount&) = delete;
  StickMount& operator=(const StickMount&) = delete;

  // The mount folder; empty when the volume could not be mounted (Error says why).
  const std::string& Folder() const { return folder_; }
  const std::string& Loop() const { return loop_; }
  const std::string& Error() const { return error_; }

 private:
  platform::disks::VolumeEntry entry_;
  bool ours_ = false;
  std::string folder_;
  std::string loop_;
  std::string error_;
};

}  // namespace verify
