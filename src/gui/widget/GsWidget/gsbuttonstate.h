#pragma once
// The state indices of a skinned button, shared by its pictures and its
// text effects.

namespace gs {

enum GsButtonState : int {
  bsRaised = 0,
  bsSunken = 1,
  bsHovered = 2,
  bsDisabled = 3,
  bsFocused = 4,
  bsActive = 5,
};

inline constexpr int kButtonStateCount = 6;

}  // namespace gs
