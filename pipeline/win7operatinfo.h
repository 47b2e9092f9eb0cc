#pragma once
// The settings of one run. The main window allocates it, zero-fills it and
// writes every field before the worker starts; the pipeline only reads it,
// and it must outlive the worker thread.

#include <string>

#include "platform/types.h"

struct WIN7_OPERAT_INFO {
  wchar_t szSourcePath[platform::MAX_PATH];     // root of the source DVD, "E:\"
  wchar_t szDriverPath[platform::MAX_PATH];     // data folder + "U3": the staged drivers
  wchar_t szImgDriverPath[platform::MAX_PATH];  // the "OS" folder beside the program
  wchar_t szTagPath[platform::MAX_PATH];        // USB root "F:\" or the ISO's folder
  wchar_t szTmpPath[platform::MAX_PATH];        // the work folder, ending in a backslash
  bool bIs64bitDVD;                             // sources\idwbinfo.txt says AMD64
  // ISO mode: the image's temporary file in the ISO folder, made before the
  // run (it proves the folder takes a file) and renamed to the image's
  // numbered name once the image is complete; empty in USB mode.
  wchar_t szIsoTmpFile[platform::MAX_PATH];
};

// Copies text into one of the record's fields, cut to fit with its terminator.
void SetInfoField(wchar_t (&field)[platform::MAX_PATH], const std::wstring& text);
