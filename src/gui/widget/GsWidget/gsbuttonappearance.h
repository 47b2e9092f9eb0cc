#pragma once
// The pictures of a skinned button: six bitmaps, always present and
// possibly empty, in state-index order. Setting one copies it; every change
// calls the owner's change handler (the widget resizes itself to Raised and
// repaints).

#include <array>
#include <functional>

#include "src/gui/graphics/image/gsbitmap.h"
#include "src/gui/widget/GsWidget/gsbuttonstate.h"

namespace gs {

class GsCtrlAppearance {
 public:
  using ChangeHandler = std::function<void()>;
  virtual ~GsCtrlAppearance() = default;
  void SetOnChange(ChangeHandler handler) { m_onChange = std::move(handler); }

 protected:
  void Changed() const {
    if (m_onChange) m_onChange();
  }

 private:
  ChangeHandler m_onChange;
};

class GsButtonAppearance final : public GsCtrlAppearance {
 public:
  const GsBitmap& Raised() const { return m_bitmaps[bsRaised]; }
  const GsBitmap& Sunken() const { return m_bitmaps[bsSunken]; }
  const GsBitmap& Hovered() const { return m_bitmaps[bsHovered]; }
  const GsBitmap& Disabled() const { return m_bitmaps[bsDisabled]; }
  const GsBitmap& Focused() const { return m_bitmaps[bsFocused]; }
  const GsBitmap& Active() const { return m_bitmaps[bsActive]; }
  void SetRaised(const GsBitmap& b) { SetBitmap(bsRaised, b); }
  void SetSunken(const GsBitmap& b) { SetBitmap(bsSunken, b); }
  void SetHovered(const GsBitmap& b) { SetBitmap(bsHovered, b); }
  void SetDisabled(const GsBitmap& b) { SetBitmap(bsDisabled, b); }
  void SetFocused(const GsBitmap& b) { SetBitmap(bsFocused, b); }
  void SetActive(const GsBitmap& b) { SetBitmap(bsActive, b); }

  // The bitmap of a state index; an index out of range means Raised.
  const GsBitmap& Bitmap(int index) const;
  void SetBitmap(int index, const GsBitmap& bitmap);

 private:
  std::array<GsBitmap, kButtonStateCount> m_bitmaps;
};

}  // namespace gs
