#include "guitest.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace guitest {

namespace {
int g_argc = 1;
char g_name[] = "gui_tests";
char* g_argv[] = {g_name, nullptr};
std::unique_ptr<QApplication> g_app;

// The application must go before the end of main: Qt cannot tear it down
// among the static destructors.
class QtAppEnvironment final : public ::testing::Environment {
 public:
  void TearDown() override { g_app.reset(); }
};
[[maybe_unused]] const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);
}  // namespace

void EnsureQtApp() {
  if (!QApplication::instance()) g_app = std::make_unique<QApplication>(g_argc, g_argv);
}

gs::GsBitmap Solid(int width, int height, gs::Pixel value, gs::PixelFormat format) {
  gs::GsBitmap b(width, height, format);
  b.Fill(value);
  return b;
}

gs::GsBitmap BlockRasterizer::RenderMask(const std::wstring&, const gs::GsFont& font, int width, int height,
                                         const gs::GsRect& r, const gs::TextLayout& layout) {
  requests.push_back(r);
  fonts.push_back(font);
  gs::GsBitmap mask = Solid(width, height, 0xFF000000u);
  int left = r.left;
  if (layout.horizontal == gs::HorzAlign::Center) left = r.left + (r.Width() - m_w) / 2;
  if (layout.horizontal == gs::HorzAlign::Right) left = r.right - m_w;
  int top = r.top;
  if (!layout.wordWrap || layout.vertical == gs::VertAlign::Center) top = r.top + (r.Height() - m_h) / 2;
  if (layout.wordWrap && layout.vertical == gs::VertAlign::Bottom) top = r.bottom - m_h;
  for (int y = std::max(top, r.top); y < std::min(top + m_h, r.bottom); ++y)
    for (int x = std::max(left, r.left); x < std::min(left + m_w, r.right); ++x)
      if (mask.Contains(x, y)) mask.At(x, y) = 0xFFFFFFFFu;
  return mask;
}

}  // namespace guitest
