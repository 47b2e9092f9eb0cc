#include "src/gui/widget/GsWidget/gsbutton.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>

#include <memory>

#include "guitest.h"
#include "qtinput.h"

namespace {

using namespace gs;
using guitest::Solid;

constexpr Pixel kRaised = 0xFF102030u, kHovered = 0xFF304050u, kSunken = 0xFF506070u, kDisabled = 0xFF708090u;

class GsButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    guitest::EnsureQtApp();
    window = std::make_unique<QWidget>();
    window->resize(200, 100);
    button = new GsButton(window.get());  // owned by the window
    button->move(10, 20);
    button->Appearance().SetRaised(Solid(40, 16, kRaised));
    button->Appearance().SetHovered(Solid(40, 16, kHovered));
    button->Appearance().SetSunken(Solid(40, 16, kSunken));
    button->Appearance().SetDisabled(Solid(40, 16, kDisabled));
    button->OnClick = [this] { ++clicks; };
  }
  Pixel Shown() { return button->Rendering().At(0, 0); }

  std::unique_ptr<QWidget> window;
  GsButton* button = nullptr;
  int clicks = 0;
};

TEST_F(GsButtonTest, ControlDefaults) {
  EXPECT_EQ(button->HoverTime(), 200);
  EXPECT_EQ(button->InputBkgnd(), nullptr);
  EXPECT_FALSE(button->ParentBackground());
  EXPECT_EQ(button->ModalResult(), 0);
  EXPECT_TRUE(button->testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST_F(GsButtonTest, SizeFollowsTheRaisedPicture) {
  EXPECT_EQ(button->size(), QSize(40, 16));
  button->Appearance().SetRaised(Solid(96, 24, kRaised));
  EXPECT_EQ(button->size(), QSize(96, 24));
  EXPECT_EQ(button->Rendering().Width(), 96);
}

TEST_F(GsButtonTest, PressAndReleaseInsideClicks) {
  guitest::Move(button, {5, 5});
  EXPECT_EQ(Shown(), kHovered);
  guitest::Press(button, {5, 5});
  EXPECT_EQ(Shown(), kSunken);
  guitest::Release(button, {6, 6});
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(Shown(), kHovered);
}

TEST_F(GsButtonTest, ReleaseOutsideRaisesNoClick) {
  guitest::Move(button, {5, 5});
  guitest::Press(button, {5, 5});
  guitest::Move(button, {80, 5}, Qt::LeftButton);
  EXPECT_EQ(Shown(), kRaised);
  guitest::Release(button, {80, 5});
  EXPECT_EQ(clicks, 0);
  EXPECT_FALSE(button->LeftButtonDown());
}

TEST_F(GsButtonTest, ReleaseWithoutPressOnTheButtonRaisesNoClick) {
  guitest::Move(button, {5, 5});
  guitest::Release(button, {5, 5});
  EXPECT_EQ(clicks, 0);
}

TEST_F(GsButtonTest, DisabledButtonShowsDisabledPictureAndIgnoresTheMouse) {
  button->setEnabled(false);
  EXPECT_EQ(Shown(), kDisabled);
  guitest::Move(button, {5, 5});
  guitest::Press(button, {5, 5});
  guitest::Release(button, {5, 5});
  EXPECT_EQ(clicks, 0);
  EXPECT_FALSE(button->MouseInside());
  EXPECT_EQ(Shown(), kDisabled);
  button->setEnabled(true);
  EXPECT_EQ(Shown(), kRaised);
}

TEST_F(GsButtonTest, LeaveReturnsToRaisedAndRaisesTheEvents) {
  int entered = 0, left = 0;
  button->OnMouseEnter = [&] { ++entered; };
  button->OnMouseLeave = [&] { ++left; };
  guitest::Move(button, {5, 5});
  guitest::Move(button, {6, 5});
  EXPECT_TRUE(button->MouseInside());
  guitest::Leave(button);
  EXPECT_EQ(Shown(), kRaised);
  EXPECT_FALSE(button->MouseInside());
  EXPECT_EQ(entered, 1);
  EXPECT_EQ(left, 1);
}

TEST_F(GsButtonTest, FontGoesToTheRaisedTextEffect) {
  GsFont font;
  font.name = L"Liberation Sans";
  font.size = 10;
  font.color = {1, 2, 3};
  button->SetFont(font);
  EXPECT_EQ(button->TextEffect().Raised().Font(), font);
}

TEST_F(GsButtonTest, BackdropShowsThroughTransparentPixels) {
  GsBitmap backdrop = Solid(200, 100, 0xFF000000u);
  backdrop.At(10, 20) = 0xFFAA0000u;
  backdrop.At(11, 20) = 0xFF00BB00u;
  button->Appearance().SetRaised(Solid(40, 16, 0));  // fully transparent
  button->SetInputBkgnd(&backdrop);
  EXPECT_EQ(button->Rendering().At(0, 0), 0xFFAA0000u);
  EXPECT_EQ(button->Rendering().At(1, 0), 0xFF00BB00u);
}

TEST_F(GsButtonTest, ParentBackgroundCopiesTheParentButtonsRendering) {
  auto* child = new GsButton(button);  // owned by the parent button
  child->move(3, 2);
  child->Appearance().SetRaised(Solid(4, 4, 0));
  child->SetParentBackground(true);
  GsBitmap parentPicture = Solid(40, 16, kRaised);
  parentPicture.At(3, 2) = 0xFF0000FFu;
  button->Appearance().SetRaised(parentPicture);
  EXPECT_EQ(child->Rendering().At(0, 0), 0xFF0000FFu);
  EXPECT_EQ(child->Rendering().At(1, 1), kRaised);
}

TEST_F(GsButtonTest, LosingTheMouseCaptureForgetsThePress) {
  window->show();
  guitest::Move(button, {5, 5});
  guitest::Press(button, {5, 5});
  ASSERT_TRUE(button->LeftButtonDown());
  QWidget other;  // another window comes up and takes over
  other.show();
  other.activateWindow();
  QApplication::processEvents();
  EXPECT_FALSE(button->LeftButtonDown());
  guitest::Release(button, {5, 5});
  EXPECT_EQ(clicks, 0);

  guitest::Press(button, {5, 5});
  QEvent ungrab(QEvent::UngrabMouse);
  QApplication::sendEvent(button, &ungrab);
  EXPECT_FALSE(button->LeftButtonDown());
  guitest::Release(button, {5, 5});
  EXPECT_EQ(clicks, 0);
}

TEST_F(GsButtonTest, AlphaValueGoesOnToVisibleSkinnedChildren) {
  auto* shown = new GsButton(button);
  auto* hidden = new GsButton(button);
  hidden->hide();
  auto* control = new GsCustomControl(button);  // a skinned control that is no button
  auto* grandchild = new GsButton(control);
  auto* plain = new QWidget(button);
  (void)plain;
  button->SetAlphaValue(100);
  EXPECT_EQ(button->ButtonWidget().AlphaValue(), 100);
  EXPECT_EQ(shown->ButtonWidget().AlphaValue(), 100);
  EXPECT_EQ(hidden->ButtonWidget().AlphaValue(), 255);
  EXPECT_EQ(control->AlphaValue(), 100);
  EXPECT_EQ(grandchild->AlphaValue(), 100);
}

class GsButtonDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    guitest::EnsureQtApp();
    dialog = std::make_unique<QDialog>();
    button = new GsButton(dialog.get());  // owned by the dialog
    button->Appearance().SetRaised(Solid(10, 10, kRaised));
    dialog->setModal(true);
    dialog->show();
  }
  std::unique_ptr<QDialog> dialog;
  GsButton* button = nullptr;
};

TEST_F(GsButtonDialogTest, OnClickRunsWithTheResultStoredBeforeTheDialogCloses) {
  int resultSeen = -1;
  bool openDuringClick = false;
  button->OnClick = [&] {
    resultSeen = dialog->result();
    openDuringClick = dialog->isVisible();
  };
  button->SetModalResult(7);
  button->Click();
  EXPECT_EQ(resultSeen, 7);
  EXPECT_TRUE(openDuringClick);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), 7);
}

TEST_F(GsButtonDialogTest, OnClickCanKeepTheDialogOpenByClearingTheResult) {
  button->OnClick = [&] { dialog->setResult(0); };
  button->SetModalResult(7);
  button->Click();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), 0);
}

TEST_F(GsButtonDialogTest, ButtonWithoutResultLeavesTheDialogOpen) {
  dialog->setResult(3);
  bool clicked = false;
  button->OnClick = [&] { clicked = true; };
  button->Click();
  EXPECT_TRUE(clicked);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), 0);
}

}  // namespace
