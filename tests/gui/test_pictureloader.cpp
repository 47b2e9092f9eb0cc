#include "src/gui/graphics/image/pictureloader.h"

#include <gtest/gtest.h>

#include <QImage>

#include "guitest.h"
#include "src/gui/graphics/image/pngfile.h"
#include "testmachine.h"

namespace {

using namespace gs;

TEST(PictureLoader, KindFollowsTheExtensionIgnoringCase) {
  EXPECT_EQ(PictureKindOf(L"C:\\a\\logo.PNG"), PictureKind::Png);
  EXPECT_EQ(PictureKindOf(L"logo.Bmp"), PictureKind::Bmp);
  EXPECT_EQ(PictureKindOf(L"x.ico"), PictureKind::Ico);
  EXPECT_EQ(PictureKindOf(L"x.emf"), PictureKind::Metafile);
  EXPECT_EQ(PictureKindOf(L"x.WMF"), PictureKind::Metafile);
  EXPECT_EQ(PictureKindOf(L"C:\\dir.png\\logo"), PictureKind::Unknown);
  EXPECT_EQ(PictureKindOf(L"logo.jpg"), PictureKind::Unknown);
}

class PictureLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { guitest::EnsureQtApp(); }
  std::string Host(const std::string& name) const { return (machine.Root('C') / name).string(); }
  kxtest::TestMachine machine;
};

TEST_F(PictureLoaderTest, LoadsPngAndBmpBySystemPath) {
  GsBitmap straight = guitest::Solid(4, 2, MakePixel(255, 200, 10, 30));
  straight.At(0, 0) = MakePixel(128, 200, 100, 2);
  ASSERT_TRUE(SavePng(Host("logo.png"), straight));
  QImage picture;
  ASSERT_TRUE(LoadPicture(L"C:\\logo.png", picture));
  EXPECT_EQ(picture.size(), QSize(4, 2));
  GsBitmap skin;
  ASSERT_TRUE(LoadSkinBitmap(L"C:\\LOGO.png", skin));  // resolved without regard to case
  EXPECT_EQ(skin.At(0, 0), MakePixel(128, 100, 50, 1));  // premultiplied

  QImage bmp(3, 5, QImage::Format_RGB32);
  bmp.fill(QColor(1, 2, 3));
  ASSERT_TRUE(bmp.save(QString::fromStdString(Host("art.bmp")), "BMP"));
  ASSERT_TRUE(LoadPicture(L"C:\\art.bmp", picture));
  EXPECT_EQ(picture.size(), QSize(3, 5));
}

TEST_F(PictureLoaderTest, MetafilesMissingAndUndecodableFilesAreNotLoaded) {
  machine.WriteFile('C', "logo.emf", std::string(64, '\x01'));
  machine.WriteFile('C', "broken.png", "\x89PNG\r\n\x1a\ngarbage");
  machine.WriteFile('C', "broken.bmp", "BMgarbage");
  QImage picture(7, 7, QImage::Format_RGB32);
  EXPECT_FALSE(LoadPicture(L"C:\\logo.emf", picture));
  EXPECT_FALSE(LoadPicture(L"C:\\broken.png", picture));
  EXPECT_FALSE(LoadPicture(L"C:\\broken.bmp", picture));
  EXPECT_FALSE(LoadPicture(L"C:\\none.png", picture));
  EXPECT_FALSE(LoadPicture(L"Q:\\unmapped.png", picture));
  EXPECT_EQ(picture.size(), QSize(7, 7));
}

}  // namespace
