#include "config/applybranding.h"

#include "config/cgetconfiginfo.h"
#include "disk/langutils.h"
#include "disk/tracelog.h"

std::wstring BrandedCaption(const std::wstring& title) { return title + L" " + kVersionText; }

std::wstring BrandingFontName() {
  return IsSystemLanguageJapanese() ? kJapaneseWindowFont : kWindowFont;
}

void ApplyBranding(BrandingTarget& window, const std::wstring& configPath) {
  window.SetBrandingFont(BrandingFontName());
  ScopedConfigReading config(configPath);
  window.SetBrandingCaption(BrandedCaption(config->GetTitle()));
  const std::wstring logo = config->GetLogoPath();
  // A logo that is missing or undecodable must not stop the program at
  // start-up: the designed banner stays and the trace log says why.
  if (!logo.empty() && !window.LoadBannerPicture(logo))
    TraceLog(L"[ApplyBranding - logopath] cannot load picture " + logo);
}

void ApplyBranding(BrandingTarget& window) { ApplyBranding(window, ConfigFilePath()); }
