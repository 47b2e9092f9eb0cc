#include "app/skinpictures.h"

#include <QPainter>

#include "platform/sysfolders.h"
#include "src/gui/graphics/image/pictureloader.h"
#include "src/gui/graphics/image/qtbitmap.h"
#include "src/gui/widget/GsWidget/createskinbutton.h"

namespace {

gs::GsBitmap Skin(const wchar_t* name) {
  gs::GsBitmap bitmap;
  gs::LoadSkinBitmap(SkinPath(name), bitmap);
  return bitmap;
}

gs::GsBitmap OverButtonFace(const wchar_t* name, const QColor& face) {
  QImage picture;
  if (!gs::LoadPicture(SkinPath(name), picture)) return {};
  QImage square(RefreshPictures::kSide, RefreshPictures::kSide, QImage::Format_ARGB32_Premultiplied);
  square.fill(face);
  QPainter painter(&square);
  painter.drawImage(0, 0, picture);
  painter.end();
  gs::GsBitmap bitmap = gs::FromQImage(square);  // opaque: straight and premultiplied agree
  return bitmap;
}

}  // namespace

std::wstring SkinPath(const std::wstring& name) { return platform::GetProgramFolder() + L"skin\\" + name; }

SkinPictures SkinPictures::Load() {
  SkinPictures skin;
  skin.Img_Button_BK = Skin(L"button_backdrop.png");
  skin.Image2 = Skin(L"button_raised.png");
  skin.Image3 = Skin(L"button_hovered.png");
  skin.Image4 = Skin(L"button_sunken.png");
  skin.Img_disable = Skin(L"button_disabled.png");
  gs::LoadPicture(SkinPath(L"banner.png"), skin.banner);
  return skin;
}

RefreshPictures RefreshPictures::Load(const QColor& buttonFace) {
  return {OverButtonFace(L"refresh_normal.png", buttonFace), OverButtonFace(L"refresh_hovered.png", buttonFace),
          OverButtonFace(L"refresh_pressed.png", buttonFace)};
}

gs::GsButton* MakeSkinButton(QWidget* parent, const SkinPictures& skin, int left, int top, const std::wstring& text) {
  gs::GsButton* button = nullptr;
  gs::CreateSkinButton(parent, &skin.Img_Button_BK, button, left, top, skin.Image2, skin.Image3, skin.Image4,
                       skin.Img_disable, text, text);
  // The backdrop is a strip made for one button: centre it behind this one.
  const QPoint inset((skin.Img_Button_BK.Width() - button->width()) / 2,
                     (skin.Img_Button_BK.Height() - button->height()) / 2);
  button->SetInputBkgnd(&skin.Img_Button_BK, button->pos() - inset);
  return button;
}

void SetCaptionAndHint(gs::GsButton* button, const std::wstring& text) {
  button->SetCaption(text);
  button->SetHint(text);
  button->SetShowHint(true);
  button->update();
}
