#include "src/gui/widget/GsWidget/gstextradiationeffect.h"

namespace gs {

void GsTextRadiationEffect::Changed() const {
  if (m_onChange) m_onChange();
}

void GsTextRadiationEffect::Assign(const GsTextRadiationEffect& other) {
  m_font = other.m_font;
  m_params = other.m_params;
  Changed();
}

void GsTextRadiationEffect::SetFont(const GsFont& font) {
  m_font = font;
  Changed();
}

void GsTextRadiationEffect::SetFontColor(GsColor color) {
  m_font.color = color;
  Changed();
}

void GsTextRadiationEffect::SetFontStyle(unsigned style) {
  m_font.style = style;
  Changed();
}

void GsTextRadiationEffect::SetOpacity(std::uint8_t value) {
  m_params.opacity = value;
  Changed();
}

void GsTextRadiationEffect::SetRadius(int value) {
  m_params.radius = value;
  Changed();
}

void GsTextRadiationEffect::SetSpread(std::uint8_t value) {
  m_params.spread = value;
  Changed();
}

void GsTextRadiationEffect::SetColor(GsColor value) {
  m_params.color = value;
  Changed();
}

void GsTextRadiationEffect::SetOffsetX(int value) {
  m_params.offsetX = value;
  Changed();
}

void GsTextRadiationEffect::SetOffsetY(int value) {
  m_params.offsetY = value;
  Changed();
}

}  // namespace gs
