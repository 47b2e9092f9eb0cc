#include "pipeline/progressdisplay.h"

#include <gtest/gtest.h>

#include <vector>

#include "pipeline/opmessages.h"

namespace {

struct Msg {
  int state;  // -1: a WM_OPIMAGES with `value` images
  int value;
  int shown;  // position after the message (ignored for WM_OPIMAGES)
};

void Replay(ProgressDisplay& d, int mode, const std::vector<Msg>& msgs) {
  for (const Msg& m : msgs) {
    if (m.state < 0) {
      d.OnImages(m.value);
      continue;
    }
    EXPECT_EQ(d.OnState(mode, m.state, m.value), m.shown)
        << "state " << m.state << " value " << m.value;
  }
}

// A whole ISO-mode run, N = 5: copy (weight 0.6 at the end = 60), boot.wim
// with 1 image (I = 3), Other, OS, ISO, finish.
TEST(ProgressDisplay, FollowsTheTableThroughAWholeIsoRun) {
  ProgressDisplay d;
  Replay(d, 1,
         {{2, 30, 6}, {2, 60, 12}, {3, 100, 12},   // copy: L = 12, then T = 12
          {-1, 1, 0},                               // I = 3
          {6, 50, 15}, {7, 0, 18}, {9, 0, 18},      // 50/3/5 = 3; 100/5/3 = 6
          {10, 90, 24}, {11, 0, 24}, {13, 99, 30}, {14, 0, 30},
          {2, 100, 50}, {3, 100, 50},               // Other
          {2, 40, 58}, {3, 100, 58},                // OS
          {17, 12, 60}, {17, 100, 78},              // ISO: 100/5 = 20
          {19, 100, 100}});
  // T was reset by the finish: a second run of the process starts at 0.
  EXPECT_EQ(d.OnState(1, kStateCopyOS, 0), 0);
}

TEST(ProgressDisplay, CancelDropsToZeroAndFormatAddsAFifth) {
  ProgressDisplay d;
  Replay(d, 0, {{0, 10, 2}, {0, 70, 14}, {1, 100, 20}, {5, 50, 30}, {18, 0, 0}});
  EXPECT_EQ(d.Total(), 0);
}

TEST(ProgressDisplay, FourImagesMakeTheDivisorTwelve) {
  ProgressDisplay d;
  Replay(d, 1, {{-1, 4, 0}, {6, 100, 1}, {7, 0, 1}, {7, 0, 2}, {7, 0, 3}, {7, 0, 4}});
}

TEST(ProgressDisplay, ZeroImagesMoveNothingInsteadOfDividingByZero) {
  ProgressDisplay d;
  Replay(d, 1, {{-1, 0, 0}, {6, 100, 0}, {7, 0, 0}});
}

}  // namespace
