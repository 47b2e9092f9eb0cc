#include "config/applybranding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "disk/tracelog.h"
#include "platform/fs/paths.h"
#include "testmachine.h"

namespace {

constexpr wchar_t kPath[] = L"C:\\prog\\config.xml";

// A window that records what branding did to it.
class RecordingWindow final : public BrandingTarget {
 public:
  void SetBrandingFont(const std::wstring& name) override { font = name; }
  void SetBrandingCaption(const std::wstring& text) override { caption = text; }
  bool LoadBannerPicture(const std::wstring& path) override {
    pictures.push_back(path);
    return pictureLoads;
  }
  std::wstring font, caption = L"designed";
  std::vector<std::wstring> pictures;
  bool pictureLoads = true;
};

class ScopedLocale {
 public:
  explicit ScopedLocale(const char* locale) {
    if (const char* old = std::getenv("LC_ALL")) saved_ = old, had_ = true;
    ::setenv("LC_ALL", locale, 1);
  }
  ~ScopedLocale() {
    if (had_) ::setenv("LC_ALL", saved_.c_str(), 1);
    else ::unsetenv("LC_ALL");
  }

 private:
  std::string saved_;
  bool had_ = false;
};

class ApplyBrandingTest : public ::testing::Test {
 protected:
  void Write(const std::string& ui) {
    machine.WriteFile('C', "prog/config.xml",
                      "<?xml version=\"1.0\"?><r><type key=\"0\"><ui>" + ui + "</ui></type></r>");
  }
  std::string TraceLogText() const {
    std::string host;
    if (!platform::ResolvePath(TraceLogPath(), host)) return {};
    return kxtest::ReadHostFile(host);
  }
  kxtest::TestMachine machine;
  RecordingWindow window;
};

TEST_F(ApplyBrandingTest, CaptionIsTitleBlankVersionAndLogoGoesToTheBanner) {
  Write("<title>Kestrunex</title><logopath>C:\\art\\logo.png</logopath>");
  ApplyBranding(window, kPath);
  EXPECT_EQ(window.caption, L"Kestrunex v1.02.11");
  ASSERT_EQ(window.pictures.size(), 1u);
  EXPECT_EQ(window.pictures[0], L"C:\\art\\logo.png");
}

TEST_F(ApplyBrandingTest, MissingFileGivesBlankVersionCaptionAndKeepsTheBanner) {
  ApplyBranding(window, L"C:\\prog\\missing.xml");
  EXPECT_EQ(window.caption, L" v1.02.11");
  EXPECT_TRUE(window.pictures.empty());
}

TEST_F(ApplyBrandingTest, UnloadableLogoKeepsTheBannerAndIsTraced) {
  Write("<title>T</title><logopath>C:\\art\\gone.png</logopath>");
  window.pictureLoads = false;
  ApplyBranding(window, kPath);
  EXPECT_EQ(window.caption, L"T v1.02.11");
  EXPECT_NE(TraceLogText().find("cannot load picture C:\\art\\gone.png"), std::string::npos);
}

TEST_F(ApplyBrandingTest, JapaneseSystemsGetTheJapaneseFont) {
  {
    ScopedLocale japanese("ja_JP.UTF-8");
    ApplyBranding(window, kPath);
    EXPECT_EQ(window.font, L"MS UI Gothic");
  }
  ScopedLocale english("en_US.UTF-8");
  ApplyBranding(window, kPath);
  EXPECT_EQ(window.font, L"Microsoft Sans Serif");
}

TEST_F(ApplyBrandingTest, TheReaderIsReleasedAfterBranding) {
  Write("<title>One</title>");
  ApplyBranding(window, kPath);
  Write("<title>Two</title>");
  ApplyBranding(window, kPath);
  EXPECT_EQ(window.caption, L"Two v1.02.11");
}

}  // namespace
