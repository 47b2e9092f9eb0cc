#pragma once
// The skin pictures of the windows, drawn at build time into "skin\" beside
// the program: the mode window's hidden pictures (the button backdrop
// `Img_Button_BK`, the button states raised `Image2`, hovered `Image3`,
// sunken `Image4`, disabled `Img_disable`), the designed banner, and the
// main window's refresh pictures. A picture that is missing stays empty:
// its button is then not drawn, the program still runs.

#include <QImage>

#include <string>

#include "src/gui/graphics/image/gsbitmap.h"
#include "src/gui/widget/GsWidget/gsbutton.h"

struct SkinPictures {
  gs::GsBitmap Img_Button_BK;
  gs::GsBitmap Image2;       // raised
  gs::GsBitmap Image3;       // hovered
  gs::GsBitmap Image4;       // sunken
  gs::GsBitmap Img_disable;  // disabled
  QImage banner;

  // Reads every picture from the program folder's "skin\".
  static SkinPictures Load();
};

struct RefreshPictures {
  static constexpr int kSide = 22;
  gs::GsBitmap img_refresh1;  // raised, also disabled
  gs::GsBitmap img_refresh2;  // hovered
  gs::GsBitmap img_refresh3;  // sunken

  // Each picture drawn over a 22 x 22 square of the button-face colour.
  static RefreshPictures Load(const QColor& buttonFace);
};

// The program folder's "skin\<name>".
std::wstring SkinPath(const std::wstring& name);

// A skinned button of the windows: the state pictures of `skin`, with the
// backdrop centred behind it, captioned and hinted `text`.
gs::GsButton* MakeSkinButton(QWidget* parent, const SkinPictures& skin, int left, int top, const std::wstring& text);
// Sets caption and hint together, as the windows always do.
void SetCaptionAndHint(gs::GsButton* button, const std::wstring& text);
