#include "src/gui/widget/GsWidget/gsbuttonappearance.h"

namespace gs {

const GsBitmap& GsButtonAppearance::Bitmap(int index) const {
  if (index < 0 || index >= kButtonStateCount) index = bsRaised;
  return m_bitmaps[index];
}

void GsButtonAppearance::SetBitmap(int index, const GsBitmap& bitmap) {
  if (index < 0 || index >= kButtonStateCount) return;
  m_bitmaps[index] = bitmap;
  Changed();
}

}  // namespace gs
