#pragma once
// The caption effects of a skinned button, one GsTextRadiationEffect per
// state. Raised exists from the start; every other state is made on its
// first access from Raised as it is at that moment:
//   Hovered, Focused, Active: full copies;
//   Disabled: a full copy with the font colour set to the grey-text colour;
//   Sunken: default parameters, Raised's font, OffsetX and OffsetY 2.
// So Raised's font must be set before another state is first touched.

#include <array>
#include <functional>
#include <memory>

#include "src/gui/widget/GsWidget/gsbuttonstate.h"
#include "src/gui/widget/GsWidget/gstextradiationeffect.h"

namespace gs {

// The platform's colour for disabled text.
inline constexpr GsColor kGrayTextColor{109, 109, 109};
inline constexpr int kSunkenDefaultOffset = 2;

// The base of a control's text effects: the change handler of the owner.
class GsCtrlTextEffect {
 public:
  using ChangeHandler = std::function<void()>;
  virtual ~GsCtrlTextEffect() = default;
  void SetOnChange(ChangeHandler handler);

 protected:
  virtual void HandlerChanged() = 0;
  ChangeHandler m_onChange;
};

class GsButtonOuterGlowTextEffect final : public GsCtrlTextEffect {
 public:
  GsButtonOuterGlowTextEffect();

  GsTextRadiationEffect& Raised() { return State(bsRaised); }
  GsTextRadiationEffect& Sunken() { return State(bsSunken); }
  GsTextRadiationEffect& Hovered() { return State(bsHovered); }
  GsTextRadiationEffect& Disabled() { return State(bsDisabled); }
  GsTextRadiationEffect& Focused() { return State(bsFocused); }
  GsTextRadiationEffect& Active() { return State(bsActive); }

  // The effect of a state index, made on first access; an index out of
  // range means Raised.
  GsTextRadiationEffect& State(int index);
  bool Exists(int index) const;

 private:
  void HandlerChanged() override;

  std::array<std::unique_ptr<GsTextRadiationEffect>, kButtonStateCount> m_states;
};

}  // namespace gs
