#include "src/gui/widget/GsWidget/gsbuttonwidget.h"

#include <gtest/gtest.h>

#include "guitest.h"

namespace {

using namespace gs;
using guitest::Solid;

constexpr Pixel kRaised = 0xFF101010u, kSunken = 0xFF202020u, kHovered = 0xFF303030u, kDisabled = 0xFF404040u;

class RecordingOwner final : public GsWidgetOwner {
 public:
  void WidgetChanged() override { ++changes; }
  void WidgetResized(int w, int h) override { width = w, height = h; }
  int changes = 0, width = -1, height = -1;
};

class ButtonWidgetTest : public ::testing::Test {
 protected:
  ButtonWidgetTest() {
    widget.SetOwner(&owner);
    widget.Appearance().SetRaised(Solid(8, 6, kRaised));
    widget.Appearance().SetSunken(Solid(8, 6, kSunken));
    widget.Appearance().SetHovered(Solid(8, 6, kHovered));
    widget.Appearance().SetDisabled(Solid(8, 6, kDisabled));
  }
  Pixel Shown() {
    GsBitmap buffer(widget.Width(), widget.Height());
    widget.Paint(buffer, letters);
    return buffer.At(0, 0);
  }
  RecordingOwner owner;
  GsButtonWidget widget;
  guitest::BlockRasterizer letters{2, 2};
};

TEST_F(ButtonWidgetTest, DefaultsMatchTheKit) {
  GsButtonWidget fresh;
  EXPECT_TRUE(fresh.Visible());
  EXPECT_TRUE(fresh.Enabled());
  EXPECT_TRUE(fresh.TransparentHit());
  EXPECT_EQ(fresh.HitAlphaLimit(), 40);
  EXPECT_EQ(fresh.AlphaValue(), 255);
  EXPECT_EQ(fresh.AlphaFormat(), gafPremultiplied);
  EXPECT_FALSE(fresh.WordWrap());
  EXPECT_EQ(fresh.Alignment(), HorzAlign::Center);
  EXPECT_EQ(fresh.Layout(), VertAlign::Center);
  EXPECT_EQ(fresh.TextMargins().Left + fresh.TextMargins().Right + fresh.TextMargins().Top, 0);
}

TEST_F(ButtonWidgetTest, StateFollowsHoverPressAndEnabled) {
  EXPECT_EQ(Shown(), kRaised);
  widget.MouseMove(3, 3);
  EXPECT_EQ(Shown(), kHovered);
  EXPECT_EQ(widget.StateIndex(), bsHovered);
  widget.MouseDown(MouseButton::Left);
  EXPECT_EQ(Shown(), kSunken);
  widget.MouseMove(20, 3);  // dragged off the button while held
  EXPECT_EQ(Shown(), kRaised);
  widget.MouseMove(3, 3);
  EXPECT_EQ(Shown(), kSunken);
  widget.MouseDown(MouseButton::Right);  // another button cancels the press
  EXPECT_EQ(Shown(), kHovered);
  widget.MouseDown(MouseButton::Left);
  widget.MouseUp(MouseButton::Left);
  EXPECT_EQ(Shown(), kHovered);
  widget.MouseLeave();
  EXPECT_EQ(Shown(), kRaised);
  widget.SetEnabled(false);
  EXPECT_EQ(Shown(), kDisabled);
  EXPECT_EQ(widget.StateIndex(), bsDisabled);
}

TEST_F(ButtonWidgetTest, DisablingClearsThePress) {
  widget.MouseMove(1, 1);
  widget.MouseDown(MouseButton::Left);
  widget.SetEnabled(false);
  widget.SetEnabled(true);
  EXPECT_FALSE(widget.Pressed());
  EXPECT_EQ(Shown(), kHovered);
}

TEST_F(ButtonWidgetTest, EmptyPicturesFallBackToHoveredThenRaised) {
  widget.Appearance().SetSunken(GsBitmap());
  widget.MouseMove(1, 1);
  widget.MouseDown(MouseButton::Left);
  EXPECT_EQ(Shown(), kHovered);
  widget.Appearance().SetHovered(GsBitmap(0, 6));
  EXPECT_EQ(Shown(), kRaised);
  widget.Appearance().SetDisabled(GsBitmap());
  EXPECT_EQ(&widget.StateBitmap(bsDisabled), &widget.Appearance().Raised());
  EXPECT_EQ(&widget.StateBitmap(bsFocused), &widget.Appearance().Raised());
  EXPECT_EQ(&widget.StateBitmap(99), &widget.Appearance().Raised());
}

TEST_F(ButtonWidgetTest, ANewRaisedPictureResizesTheButton) {
  widget.Appearance().SetRaised(Solid(30, 12, kRaised));
  EXPECT_EQ(widget.Width(), 30);
  EXPECT_EQ(widget.Height(), 12);
  EXPECT_EQ(owner.width, 30);
  EXPECT_EQ(owner.height, 12);
  widget.Appearance().SetHovered(Solid(5, 5, kHovered));  // only Raised decides
  EXPECT_EQ(widget.Width(), 30);
}

TEST_F(ButtonWidgetTest, OpaqueHitTestUsesTheAlphaLimit) {
  GsBitmap picture = Solid(8, 6, MakePixel(40, 0, 0, 0));
  picture.At(5, 2) = MakePixel(41, 0, 0, 0);
  widget.Appearance().SetRaised(picture);
  widget.SetBounds(10, 20, 8, 6);
  EXPECT_TRUE(widget.HitTest(10, 20));  // transparent hit: the bounds are enough
  EXPECT_FALSE(widget.HitTest(18, 20));
  widget.SetTransparentHit(false);
  EXPECT_FALSE(widget.HitTest(10, 20));
  EXPECT_TRUE(widget.HitTest(15, 22));
  widget.SetHitAlphaLimit(41);
  EXPECT_FALSE(widget.HitTest(15, 22));
}

TEST_F(ButtonWidgetTest, ChildWidgetsAreFoundByHitTestAndFollowEnabled) {
  auto child = std::make_unique<GsButtonWidget>();
  child->Appearance().SetRaised(Solid(2, 2, kRaised));
  child->SetBounds(4, 2, 2, 2);
  GsWidget& added = widget.AddChild(std::move(child));
  EXPECT_EQ(widget.ChildAt(5, 3), &added);
  EXPECT_EQ(widget.ChildAt(1, 1), nullptr);
  added.SetVisible(false);
  EXPECT_EQ(widget.ChildAt(5, 3), nullptr);
  widget.SetEnabled(false);
  EXPECT_FALSE(added.Enabled());
}

TEST_F(ButtonWidgetTest, CaptionIsDrawnInTheStateFontColour) {
  GsFont font;
  font.color = {200, 10, 10};
  widget.TextEffect().Raised().SetFont(font);
  widget.SetCaption(L"OK");
  EXPECT_EQ(Shown(), kRaised);  // the 2 x 2 block sits in the middle
  GsBitmap buffer(8, 6);
  widget.Paint(buffer, letters);
  EXPECT_EQ(buffer.At(3, 2), MakePixel(255, 200, 10, 10));
  widget.SetEnabled(false);
  widget.Paint(buffer, letters);
  EXPECT_EQ(buffer.At(3, 2), MakePixel(255, 109, 109, 109));  // grey text
  EXPECT_EQ(buffer.At(0, 0), kDisabled);
}

TEST_F(ButtonWidgetTest, OffsetTextMovesButStaysInsideTheTextBox) {
  widget.SetCaption(L"x");
  widget.SetTextMargins({1, 1, 1, 1});
  guitest::BlockRasterizer wide(6, 4);  // fills the 6 x 4 text box
  GsTextRadiationEffect& raised = widget.TextEffect().Raised();
  GsFont font;
  font.color = {255, 255, 255};
  raised.SetFont(font);
  raised.SetOffsetX(2);
  GsBitmap picture = widget.RenderState(bsRaised, wide);
  // Box (1, 1)-(7, 5) moved right by 2 and shrunk by 2 on the right: the
  // text covers x 3..6; x 1 and 2 keep the picture, nothing spills to x 7.
  EXPECT_EQ(picture.At(1, 2), kRaised);
  EXPECT_EQ(picture.At(2, 2), kRaised);
  EXPECT_EQ(picture.At(3, 2), 0xFFFFFFFFu);
  EXPECT_EQ(picture.At(6, 2), 0xFFFFFFFFu);
  EXPECT_EQ(picture.At(7, 2), kRaised);
}

TEST_F(ButtonWidgetTest, WordWrapMovesTheBoxDownByHalfTheSpareHeight) {
  widget.SetCaption(L"x");
  widget.SetWordWrap(true);
  widget.Appearance().SetRaised(Solid(8, 12, kRaised));
  guitest::BlockRasterizer text(2, 4);
  widget.RenderState(bsRaised, text);
  ASSERT_EQ(text.requests.size(), 1u);
  EXPECT_EQ(text.requests[0], (GsRect{0, 0, 8, 8}));  // box top 4 of 12, spare 8 / 2
  widget.SetLayout(VertAlign::Bottom);
  widget.RenderState(bsRaised, text);
  EXPECT_EQ(text.requests[1], (GsRect{0, 0, 8, 4}));
}

TEST_F(ButtonWidgetTest, WrappedTextTallerThanTheBoxOverflowsEvenlyOrAtTheTop) {
  widget.SetCaption(L"x");
  widget.SetWordWrap(true);
  widget.Appearance().SetRaised(Solid(8, 12, kRaised));
  GsFont white;
  white.color = {255, 255, 255};
  widget.TextEffect().Raised().SetFont(white);
  guitest::BlockRasterizer text(2, 16);  // spare height -4
  widget.RenderState(bsRaised, text);
  ASSERT_EQ(text.requests.size(), 1u);
  EXPECT_EQ(text.requests[0], (GsRect{0, 0, 8, 14}));  // box from -2 to 12
  widget.SetLayout(VertAlign::Bottom);
  const GsBitmap picture = widget.RenderState(bsRaised, text);
  EXPECT_EQ(text.requests[1], (GsRect{0, 0, 8, 16}));  // box from -4 to 12
  EXPECT_EQ(picture.At(3, 11), 0xFFFFFFFFu);
  EXPECT_EQ(picture.At(3, 0), 0xFFFFFFFFu);
}

TEST(ButtonTextEffect, OtherStatesAreMadeFromRaisedOnFirstUse) {
  GsButtonOuterGlowTextEffect effect;
  EXPECT_TRUE(effect.Exists(bsRaised));
  EXPECT_FALSE(effect.Exists(bsHovered));
  GsFont font;
  font.name = L"Face";
  font.color = {1, 2, 3};
  effect.Raised().SetFont(font);
  effect.Raised().SetRadius(4);
  effect.Raised().SetOffsetX(7);

  EXPECT_EQ(effect.Hovered().Font(), font);
  EXPECT_EQ(effect.Hovered().Radius(), 4);
  EXPECT_EQ(effect.Active().OffsetX(), 7);
  EXPECT_EQ(effect.Disabled().Font().color, kGrayTextColor);
  EXPECT_EQ(effect.Disabled().Font().name, L"Face");
  EXPECT_EQ(effect.Sunken().Font(), font);
  EXPECT_EQ(effect.Sunken().Radius(), 0);
  EXPECT_EQ(effect.Sunken().OffsetX(), 2);
  EXPECT_EQ(effect.Sunken().OffsetY(), 2);

  effect.Raised().SetRadius(9);  // later changes of Raised stay with Raised
  EXPECT_EQ(effect.Hovered().Radius(), 4);
  EXPECT_EQ(&effect.State(42), &effect.Raised());
}

TEST(ButtonTextEffect, RadiationNamesShareTheOffsetsAndChangesRepaint) {
  int changes = 0;
  GsButtonOuterGlowTextEffect effect;
  effect.SetOnChange([&] { ++changes; });
  GsTextRadiationEffect& e = effect.Focused();
  const int before = changes;
  e.SetRadiationX(3);
  e.SetRadiationY(-1);
  EXPECT_EQ(e.OffsetX(), 3);
  EXPECT_EQ(e.OffsetY(), -1);
  e.SetOffsetY(5);
  EXPECT_EQ(e.RadiationY(), 5);
  EXPECT_EQ(changes, before + 3);
  GsTextRadiationEffect plain;
  EXPECT_EQ(plain.Opacity(), 255);
  EXPECT_EQ(plain.Spread(), 0);
  EXPECT_EQ(plain.Color(), (GsColor{255, 255, 191}));
}

}  // namespace
