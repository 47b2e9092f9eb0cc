#pragma once
// The main window's progress arithmetic for WM_OPSTATE and WM_OPIMAGES: a
// running total T and a last copy part L (both kept from run to run; only
// states 18 and 19 reset T), the divisor N (the mode's step count, taken
// once, at the first state of the process) and the image divisor I
// (3 x the images of the last WM_OPIMAGES, 3 before any). Every division
// drops its remainder. The wizard and the headless command both show
// progress through this one object.
//
// Thread rules: one display per process, driven from the thread that
// receives the messages (the window thread, or the command's main thread).

#include "platform/types.h"

class ProgressDisplay {
 public:
  // The process-wide display, made on first use.
  static ProgressDisplay& Instance();

  // A WM_OPSTATE for a run of the given mode: updates T, L, N and returns
  // the position T + P to show on the bar and, with "%i", as the percentage.
  int OnState(int mode, int state, platform::LPARAM value);
  // A WM_OPIMAGES: the next driver injection services `images` images.
  void OnImages(platform::LPARAM images);

  // A fresh display, as at program start (tests).
  void Reset();

  int Total() const { return total_; }
  int LastCopy() const { return lastCopy_; }

 private:
  int total_ = 0;
  int lastCopy_ = 0;
  int steps_ = 0;  // N; 0 until the first state
  int imageDivisor_ = 3;
};
