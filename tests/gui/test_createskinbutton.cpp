#include "src/gui/widget/GsWidget/createskinbutton.h"

#include <gtest/gtest.h>

#include "guitest.h"

namespace {

using namespace gs;
using guitest::Solid;

TEST(CreateSkinButton, SetsPicturesFontsColoursAndOffsets) {
  guitest::EnsureQtApp();
  QWidget window;
  const GsBitmap backdrop = Solid(300, 200, 0xFF123456u);
  GsButton* button = nullptr;
  CreateSkinButton(&window, &backdrop, button, 15, 25, Solid(96, 24, 0xFF000001u), Solid(96, 24, 0xFF000002u),
                   Solid(96, 24, 0xFF000003u), Solid(96, 24, 0xFF000004u), L"Next", L"Go on");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->parentWidget(), &window);
  EXPECT_EQ(button->geometry(), QRect(15, 25, 96, 24));
  EXPECT_TRUE(button->isVisibleTo(&window));
  EXPECT_EQ(button->InputBkgnd(), &backdrop);
  EXPECT_EQ(button->Caption(), L"Next");
  EXPECT_EQ(button->toolTip(), QString("Go on"));
  EXPECT_EQ(button->Appearance().Sunken().At(0, 0), 0xFF000003u);
  EXPECT_EQ(button->Appearance().Disabled().At(0, 0), 0xFF000004u);

  GsButtonOuterGlowTextEffect& fx = button->TextEffect();
  EXPECT_EQ(fx.Raised().Font().name, L"Microsoft Sans Serif");
  EXPECT_EQ(fx.Raised().Font().color, (GsColor{239, 239, 239}));

  EXPECT_EQ(fx.Hovered().Font().color, (GsColor{113, 227, 255}));
  EXPECT_TRUE(fx.Hovered().Font().style & fsBold);
  EXPECT_EQ(fx.Hovered().Opacity(), 160);
  EXPECT_EQ(fx.Hovered().Radius(), 0);
  EXPECT_EQ(fx.Hovered().Font().name, L"Microsoft Sans Serif");

  EXPECT_EQ(fx.Disabled().Font().color, (GsColor{0, 0, 0}));
  EXPECT_FALSE(fx.Disabled().Font().style & fsBold);

  EXPECT_EQ(fx.Sunken().Font().color, (GsColor{113, 227, 255}));
  EXPECT_TRUE(fx.Sunken().Font().style & fsBold);
  EXPECT_EQ(fx.Sunken().OffsetX(), 1);
  EXPECT_EQ(fx.Sunken().OffsetY(), 1);
  EXPECT_EQ(fx.Sunken().Radius(), 0);
  EXPECT_FALSE(fx.Raised().Font().style & fsBold);
}

TEST(CreateSkinButton, WithoutCaptionOrHintTheButtonIsBare) {
  guitest::EnsureQtApp();
  QWidget window;
  GsButton* button = nullptr;
  CreateSkinButton(&window, nullptr, button, 0, 0, Solid(22, 22, 0xFF000001u), GsBitmap(), GsBitmap(), GsBitmap());
  EXPECT_EQ(button->Caption(), L"");
  EXPECT_TRUE(button->toolTip().isEmpty());
  EXPECT_EQ(button->size(), QSize(22, 22));
}

}  // namespace
