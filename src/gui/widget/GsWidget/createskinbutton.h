#pragma once
// CreateSkinButton: the factory through which every window makes its
// skinned buttons. The button is owned by and parented to the window, sized
// to the raised picture, captioned in "Microsoft Sans Serif" light grey
// (239, 239, 239); hovered and sunken captions are bold light blue
// (113, 227, 255), hovered at opacity 160, sunken moved by (1, 1);
// disabled captions are black. The pictures are copied; the backdrop is
// not (it must outlive the button).

#include <optional>
#include <string>

#include "src/gui/widget/GsWidget/gsbutton.h"

namespace gs {

inline constexpr GsColor kSkinCaptionColor{239, 239, 239};
inline constexpr GsColor kSkinHighlightColor{113, 227, 255};
inline constexpr GsColor kSkinDisabledColor{0, 0, 0};
inline constexpr std::uint8_t kSkinHoveredOpacity = 160;
inline constexpr int kSkinSunkenOffset = 1;
inline constexpr wchar_t kSkinFontName[] = L"Microsoft Sans Serif";

void CreateSkinButton(QWidget* parent, const GsBitmap* backdrop, GsButton*& button, int left, int top,
                      const GsBitmap& raised, const GsBitmap& hovered, const GsBitmap& sunken,
                      const GsBitmap& disabled, const std::optional<std::wstring>& caption = std::nullopt,
                      const std::optional<std::wstring>& hint = std::nullopt);

}  // namespace gs
