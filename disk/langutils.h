#pragma once
// Tests on the system's default language (not the user's), read afresh at
// every call. The windows choose their layout and fonts by them.

#include <string>

// The language identifier as four lower-case hexadecimal digits ("0411").
std::wstring GetSystemLangIdText();
bool IsSystemLanguageSpanish();   // primary language Spanish, any region
bool IsSystemLanguageFrench();    // primary language French, any region
bool IsSystemLanguageJapanese();  // exactly 0411
