#include "app/imageargument.h"

#include <filesystem>

#include "config/ovmultilangdll.h"
#include "platform/machine/imagedrive.h"
#include "platform/text.h"
#include "platform/windows/window.h"

std::string ImageArgument(int argc, char** argv) {
  for (int i = argc - 1; i >= 1; --i) {
    std::error_code ec;
    const auto status = std::filesystem::status(argv[i], ec);
    // A regular file only: a pipe or a device named here would be opened
    // and read as an image, perhaps by root.
    if (argv[i][0] == '-' || !std::filesystem::is_regular_file(status)) continue;
    const auto absolute = std::filesystem::absolute(argv[i], ec);
    return ec ? std::string(argv[i]) : absolute.lexically_normal().string();
  }
  return {};
}

wchar_t AddImageArgumentDrive(const std::string& image, platform::HWND owner) {
  if (image.empty()) return 0;
  std::string error;
  const wchar_t letter = platform::AddImageDrive(image, error);
  if (letter == 0)
    platform::MessageBox(owner, Translate(L"Cli Bad Source") + L"\n" + platform::PrintableText(platform::WideFromAnsi(error)),
                         Translate(L"Warning"), platform::MB_OK | platform::MB_ICONERROR);
  return letter;
}

std::wstring ImageEntrySuffix(wchar_t letter) {
  const std::string image = platform::GivenImageOf(letter);
  if (image.empty()) return {};
  return platform::PrintableText(platform::WideFromAnsi(std::filesystem::path(image).filename().string()));
}
