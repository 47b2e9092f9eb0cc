#pragma once
// The skin artwork of the windows, drawn in code: the product banner, the
// backdrop behind the buttons, the four button state pictures and the three
// refresh pictures. All pictures are 32-bit with straight alpha.

#include <string>
#include <vector>

#include "src/gui/graphics/image/gsbitmap.h"

namespace artgen {

inline constexpr int kBannerWidth = 173, kBannerHeight = 303;
inline constexpr int kBackdropWidth = 116, kBackdropHeight = 43;
inline constexpr int kButtonWidth = 96, kButtonHeight = 24;
inline constexpr int kRefreshSide = 22;

enum class ButtonLook { Raised, Hovered, Sunken, Disabled };
enum class RefreshLook { Normal, Hovered, Pressed };

gs::GsBitmap Banner();
// The banner with the product monogram: the configured logo.
gs::GsBitmap Logo();
gs::GsBitmap ButtonBackdrop();
gs::GsBitmap ButtonPicture(ButtonLook look);
gs::GsBitmap RefreshPicture(RefreshLook look);

struct NamedPicture {
  std::string fileName;  // e.g. "button_raised.png"
  gs::GsBitmap picture;
};

// Every picture with the file name the windows load it by.
std::vector<NamedPicture> AllPictures();

}  // namespace artgen
