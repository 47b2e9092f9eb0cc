#include "src/gui/widget/GsWidget/gsbuttonouterglowtexteffect.h"

namespace gs {

void GsCtrlTextEffect::SetOnChange(ChangeHandler handler) {
  m_onChange = std::move(handler);
  HandlerChanged();
}

GsButtonOuterGlowTextEffect::GsButtonOuterGlowTextEffect() {
  m_states[bsRaised] = std::make_unique<GsTextRadiationEffect>();
}

bool GsButtonOuterGlowTextEffect::Exists(int index) const {
  return index >= 0 && index < kButtonStateCount && m_states[index] != nullptr;
}

GsTextRadiationEffect& GsButtonOuterGlowTextEffect::State(int index) {
  if (index < 0 || index >= kButtonStateCount) index = bsRaised;
  auto& slot = m_states[index];
  if (slot) return *slot;

  const GsTextRadiationEffect& raised = *m_states[bsRaised];
  auto made = std::make_unique<GsTextRadiationEffect>();
  if (index == bsSunken) {
    made->SetFont(raised.Font());
    made->SetOffsetX(kSunkenDefaultOffset);
    made->SetOffsetY(kSunkenDefaultOffset);
  } else {
    made->Assign(raised);
    if (index == bsDisabled) made->SetFontColor(kGrayTextColor);
  }
  made->SetOnChange(m_onChange);
  slot = std::move(made);
  return *slot;
}

void GsButtonOuterGlowTextEffect::HandlerChanged() {
  for (auto& state : m_states)
    if (state) state->SetOnChange(m_onChange);
}

}  // namespace gs
