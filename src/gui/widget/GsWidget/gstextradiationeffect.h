#pragma once
// GsTextRadiationEffect: the font and glow of a caption in one button
// state. RadiationX/RadiationY are second names for OffsetX/OffsetY. Every
// change calls the owner's change handler, which repaints.

#include <cstdint>
#include <functional>

#include "src/gui/Painter/TextPainter/glowparams.h"
#include "src/gui/Painter/TextPainter/gsfont.h"

namespace gs {

class GsTextRadiationEffect {
 public:
  using ChangeHandler = std::function<void()>;

  GsTextRadiationEffect() = default;
  GsTextRadiationEffect(const GsTextRadiationEffect&) = delete;
  GsTextRadiationEffect& operator=(const GsTextRadiationEffect&) = delete;

  // Takes font and parameters of another effect (not its handler).
  void Assign(const GsTextRadiationEffect& other);
  void SetOnChange(ChangeHandler handler) { m_onChange = std::move(handler); }

  const GsFont& Font() const { return m_font; }
  void SetFont(const GsFont& font);
  void SetFontColor(GsColor color);
  void SetFontStyle(unsigned style);

  std::uint8_t Opacity() const { return m_params.opacity; }
  void SetOpacity(std::uint8_t value);
  int Radius() const { return m_params.radius; }
  void SetRadius(int value);
  std::uint8_t Spread() const { return m_params.spread; }
  void SetSpread(std::uint8_t value);
  GsColor Color() const { return m_params.color; }
  void SetColor(GsColor value);
  int OffsetX() const { return m_params.offsetX; }
  void SetOffsetX(int value);
  int OffsetY() const { return m_params.offsetY; }
  void SetOffsetY(int value);
  int RadiationX() const { return OffsetX(); }
  void SetRadiationX(int value) { SetOffsetX(value); }
  int RadiationY() const { return OffsetY(); }
  void SetRadiationY(int value) { SetOffsetY(value); }

  const GlowParams& Params() const { return m_params; }

 private:
  void Changed() const;

  GsFont m_font;
  GlowParams m_params;
  ChangeHandler m_onChange;
};

}  // namespace gs
