#include "src/gui/widget/GsWidget/createskinbutton.h"

namespace gs {

void CreateSkinButton(QWidget* parent, const GsBitmap* backdrop, GsButton*& button, int left, int top,
                      const GsBitmap& raised, const GsBitmap& hovered, const GsBitmap& sunken,
                      const GsBitmap& disabled, const std::optional<std::wstring>& caption,
                      const std::optional<std::wstring>& hint) {
  button = new GsButton(parent);  // owned by the parent window
  button->move(left, top);

  GsButtonAppearance& appearance = button->Appearance();
  appearance.SetRaised(raised);
  appearance.SetSunken(sunken);
  appearance.SetHovered(hovered);
  appearance.SetDisabled(disabled);
  button->resize(appearance.Raised().Width(), appearance.Raised().Height());

  // The font first: the other states are made from Raised on first use.
  GsFont font = button->Font();
  font.name = kSkinFontName;
  font.color = kSkinCaptionColor;
  button->SetFont(font);
  button->SetInputBkgnd(backdrop);

  GsTextRadiationEffect& hover = button->TextEffect().Hovered();
  hover.SetFontColor(kSkinHighlightColor);
  hover.SetFontStyle(hover.Font().style | fsBold);
  hover.SetOpacity(kSkinHoveredOpacity);
  hover.SetRadius(0);

  button->TextEffect().Disabled().SetFontColor(kSkinDisabledColor);

  GsTextRadiationEffect& down = button->TextEffect().Sunken();
  down.SetFontColor(kSkinHighlightColor);
  down.SetFontStyle(down.Font().style | fsBold);
  down.SetOffsetX(kSkinSunkenOffset);
  down.SetOffsetY(kSkinSunkenOffset);

  if (caption) button->SetCaption(*caption);
  if (hint) {
    button->SetHint(*hint);
    button->SetShowHint(true);
  }
  button->show();
}

}  // namespace gs
