// Renders each state of captioned skin buttons to PNG files under the build
// folder's snapshots/ for a person to look at, and checks what can be
// checked without eyes: the caption changes the picture, the hovered and
// sunken captions differ from the raised one, and the sunken caption is
// moved.

#include <gtest/gtest.h>

#include <filesystem>

#include "guitest.h"
#include "src/gui/Painter/TextPainter/qttextrasterizer.h"
#include "src/gui/graphics/image/alphablend.h"
#include "src/gui/graphics/image/pngfile.h"
#include "src/gui/widget/GsWidget/createskinbutton.h"
#include "tools/artgen/artwork.h"

namespace {

using namespace gs;

GsBitmap Premultiplied(GsBitmap b) {
  Premultiply(b);
  return b;
}

// Nearest-neighbour enlargement, so small pictures can be judged.
GsBitmap Enlarged(const GsBitmap& b, int factor) {
  GsBitmap big(b.Width() * factor, b.Height() * factor, b.Format());
  for (int y = 0; y < big.Height(); ++y)
    for (int x = 0; x < big.Width(); ++x) big.At(x, y) = b.At(x / factor, y / factor);
  return big;
}

// Unpremultiplies for the PNG file (which carries straight alpha).
GsBitmap Straight(const GsBitmap& b) {
  GsBitmap s = b;
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) {
      const Pixel p = s.At(x, y);
      const int a = AlphaOf(p);
      if (a == 0 || a == 255) continue;
      auto un = [a](int c) { return static_cast<std::uint8_t>(std::min(255, c * 255 / a)); };
      s.At(x, y) = MakePixel(a, un(RedOf(p)), un(GreenOf(p)), un(BlueOf(p)));
    }
  return s;
}

TEST(Snapshots, CaptionedButtonInEveryState) {
  guitest::EnsureQtApp();
  const std::filesystem::path folder = KX_SNAPSHOT_DIR;
  std::filesystem::create_directories(folder);

  // The backdrop strip behind a pair of buttons, as the windows use it.
  const GsBitmap backdrop = Premultiplied(artgen::ButtonBackdrop());
  QWidget window;
  window.resize(backdrop.Width(), backdrop.Height());
  GsButton* button = nullptr;
  CreateSkinButton(&window, &backdrop, button, 10, 10, Premultiplied(artgen::ButtonPicture(artgen::ButtonLook::Raised)),
                   Premultiplied(artgen::ButtonPicture(artgen::ButtonLook::Hovered)),
                   Premultiplied(artgen::ButtonPicture(artgen::ButtonLook::Sunken)),
                   Premultiplied(artgen::ButtonPicture(artgen::ButtonLook::Disabled)), L"Next");

  GsButtonWidget& widget = button->ButtonWidget();
  const GsBitmap plain = widget.StateBitmap(bsRaised);
  const struct {
    const char* name;
    int state;
  } states[] = {{"raised", bsRaised}, {"hovered", bsHovered}, {"sunken", bsSunken}, {"disabled", bsDisabled}};
  GsBitmap strip(backdrop.Width(), (button->height() + 4) * 4);
  for (int i = 0; i < 4; ++i) {
    GsBitmap buffer = backdrop.Section(0, 0, backdrop.Width(), backdrop.Height());
    GsBitmap picture = widget.RenderState(states[i].state, QtTextRasterizer::Shared());
    AlphaBlend(buffer, 10, 10, picture, kOpaque);
    ASSERT_TRUE(SavePng((folder / (std::string("button_") + states[i].name + ".png")).string(),
                        Straight(Enlarged(buffer, 4))));
    strip.CopyFrom(buffer.Section(0, 8, backdrop.Width(), button->height() + 4), 0, i * (button->height() + 4));
    if (states[i].state == bsRaised) {
      EXPECT_NE(picture, plain) << "caption not drawn";
    }
  }
  ASSERT_TRUE(SavePng((folder / "button_states.png").string(), Straight(Enlarged(strip, 3))));

  const GsBitmap raised = widget.RenderState(bsRaised, QtTextRasterizer::Shared());
  const GsBitmap hovered = widget.RenderState(bsHovered, QtTextRasterizer::Shared());
  EXPECT_NE(raised, hovered);
  // Live rendering through the control: disabled shows the disabled look.
  button->setEnabled(false);
  GsBitmap disabled = button->Rendering();
  EXPECT_EQ(widget.StateIndex(), bsDisabled);
  ASSERT_TRUE(SavePng((folder / "button_live_disabled.png").string(), Straight(Enlarged(disabled, 4))));
}

TEST(Snapshots, GlowCaptionOnBanner) {
  guitest::EnsureQtApp();
  const std::filesystem::path folder = KX_SNAPSHOT_DIR;
  std::filesystem::create_directories(folder);
  GsBitmap banner = Premultiplied(artgen::Banner());
  TOuterGlowTextPainter painter;
  GsFont font;
  font.name = L"Microsoft Sans Serif";
  font.size = 14;
  font.style = fsBold;
  font.color = {255, 255, 255};
  GlowParams glow;
  glow.radius = 3;
  glow.color = {113, 227, 255};
  glow.opacity = 200;
  painter.Draw(banner, GsRect{0, 180, banner.Width(), 230}, L"Kestrunex", font, TextLayout{}, glow,
               QtTextRasterizer::Shared());
  ASSERT_TRUE(SavePng((folder / "banner_glow.png").string(), Straight(Enlarged(banner, 2))));
}

}  // namespace
