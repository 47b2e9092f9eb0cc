#pragma once
// Branding of the program's windows from "config.xml": the window font by
// the system language, the caption "<title> v1.02.11" and, when the file
// names one, a picture that replaces the window's banner or logo.
//
// A window takes part by implementing BrandingTarget. User-interface thread
// only.

#include <string>

// The version text that follows the title in every window caption.
inline constexpr wchar_t kVersionText[] = L"v1.02.11";
inline constexpr wchar_t kWindowFont[] = L"Microsoft Sans Serif";
inline constexpr wchar_t kJapaneseWindowFont[] = L"MS UI Gothic";

class BrandingTarget {
 public:
  virtual ~BrandingTarget() = default;
  virtual void SetBrandingFont(const std::wstring& fontName) = 0;
  // Replaces the caption the window was designed with.
  virtual void SetBrandingCaption(const std::wstring& caption) = 0;
  // Loads the picture file at the system path into the banner (the tall
  // picture of the mode and licence windows, the main window's logo). The
  // type follows the extension. False when the file is missing or cannot
  // be decoded; the banner must then stay as designed.
  virtual bool LoadBannerPicture(const std::wstring& path) = 0;
};

// The caption for a configured title: title, a blank, kVersionText.
std::wstring BrandedCaption(const std::wstring& title);

// "MS UI Gothic" when the system language is Japanese (0411), else
// "Microsoft Sans Serif".
std::wstring BrandingFontName();

// Applies font, caption and banner from the configuration file at
// configPath (a system path). A logo that cannot be loaded keeps the
// designed banner and leaves a trace line naming the path.
void ApplyBranding(BrandingTarget& window, const std::wstring& configPath);
// The same with ConfigFilePath().
void ApplyBranding(BrandingTarget& window);
