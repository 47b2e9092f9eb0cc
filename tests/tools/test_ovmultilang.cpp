// The built OvMultiLang.dll through its two entry points, loaded from a copy
// in a temporary program folder so each test has its own library state and
// its own language files.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "config/ovmultilangdll.h"
#include "disk/appfolders.h"
#include "testmachine.h"

namespace {

namespace fs = std::filesystem;

using TranslateStrFn = std::uint32_t (*)(const char16_t*, char16_t*, std::uint32_t);
using GetLangNameFn = std::uint8_t (*)(char16_t*);

constexpr std::uint32_t kLangNameUnits = 50;

class OvMultiLangLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; ++i) {
      const char* value = std::getenv(kLocaleVariables[i]);
      savedLocale_[i] = value ? std::optional<std::string>(value) : std::nullopt;
      ::unsetenv(kLocaleVariables[i]);
    }
    fs::copy_file(KX_OVMULTILANG_DLL, dir_.path() / "OvMultiLang.dll");
    fs::create_directories(LangFolder());
    for (const auto& entry : fs::directory_iterator(KX_LANG_SOURCE_DIR))
      fs::copy_file(entry.path(), LangFolder() / entry.path().filename());
  }

  void TearDown() override {
    if (handle_) ::dlclose(handle_);
    for (int i = 0; i < 3; ++i) {
      if (savedLocale_[i]) ::setenv(kLocaleVariables[i], savedLocale_[i]->c_str(), 1);
      else ::unsetenv(kLocaleVariables[i]);
    }
  }

  fs::path LangFolder() const { return dir_.path() / "lang"; }

  // Loads the copy (after the test has arranged its language files).
  void Load() {
    handle_ = ::dlopen((dir_.path() / "OvMultiLang.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << ::dlerror();
    translate_ = reinterpret_cast<TranslateStrFn>(::dlsym(handle_, "OvTranslateStr"));
    langName_ = reinterpret_cast<GetLangNameFn>(::dlsym(handle_, "OvGetLangName"));
    ASSERT_NE(translate_, nullptr);
    ASSERT_NE(langName_, nullptr);
  }

  std::u16string Translate(const std::u16string& key) {
    char16_t buffer[1024];
    std::uint32_t length = translate_(key.c_str(), buffer, 1024);
    EXPECT_EQ(std::u16string(buffer).size(), length);
    return buffer;
  }

  std::u16string LanguageName() {
    char16_t buffer[kLangNameUnits];
    EXPECT_NE(langName_(buffer), 0);
    return buffer;
  }

  static constexpr const char* kLocaleVariables[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::optional<std::string> savedLocale_[3];
  kxtest::TempDir dir_;
  void* handle_ = nullptr;
  TranslateStrFn translate_ = nullptr;
  GetLangNameFn langName_ = nullptr;
};

TEST_F(OvMultiLangLibrary, WithoutLocaleSpeaksEnglish) {
  Load();
  EXPECT_EQ(LanguageName(), u"english");
  EXPECT_EQ(Translate(u"Finish"), u"Finished");
  EXPECT_EQ(Translate(u"Step1"), u"Step 1 of 3:");
}

TEST_F(OvMultiLangLibrary, LocaleChoosesTheLanguageAtEveryCall) {
  Load();
  ::setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(LanguageName(), u"german");
  EXPECT_EQ(Translate(u"Next"), u"Weiter");
  ::setenv("LC_MESSAGES", "es_ES.UTF-8", 1);
  EXPECT_EQ(LanguageName(), u"spanish");
  EXPECT_EQ(Translate(u"Next"), u"Siguiente");
  ::setenv("LC_ALL", "ja_JP.UTF-8", 1);
  EXPECT_EQ(LanguageName(), u"japanese");
  EXPECT_EQ(Translate(u"Cancel"), u"キャンセル");
  ::setenv("LC_ALL", "fr_FR.UTF-8", 1);
  EXPECT_EQ(LanguageName(), u"french");
  EXPECT_EQ(Translate(u"Back"), u"Précédent");
  ::setenv("LC_ALL", "pt_BR.UTF-8", 1);
  EXPECT_EQ(LanguageName(), u"english");
}

TEST_F(OvMultiLangLibrary, EscapesAndQuotedBlanksReachTheCaller) {
  Load();
  EXPECT_EQ(Translate(u"Capacity"), u"Capacity: ");
  EXPECT_NE(Translate(u"SuccessMsg").find(u'\n'), std::u16string::npos);
}

TEST_F(OvMultiLangLibrary, UnknownKeyYieldsTheKey) {
  Load();
  ::setenv("LANG", "ja_JP.UTF-8", 1);
  EXPECT_EQ(Translate(u"Not a key of ours"), u"Not a key of ours");
  EXPECT_EQ(Translate(u""), u"");
}

TEST_F(OvMultiLangLibrary, LongTextIsCutToTheBufferAndTheFullLengthReturned) {
  Load();
  const std::u16string full = u"Finished";
  char16_t buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(translate_(u"Finish", buffer, 5), full.size());
  EXPECT_EQ(std::u16string(buffer), u"Fini");
  EXPECT_EQ(buffer[5], u'#');

  EXPECT_EQ(translate_(u"Finish", buffer, full.size()), full.size());  // no room for the terminator
  EXPECT_EQ(std::u16string(buffer), full.substr(0, full.size() - 1));
  EXPECT_EQ(translate_(u"Finish", buffer, full.size() + 1), full.size());
  EXPECT_EQ(std::u16string(buffer), full);

  EXPECT_EQ(translate_(u"Finish", buffer, 1), full.size());
  EXPECT_EQ(buffer[0], u'\0');
  EXPECT_EQ(translate_(u"Finish", nullptr, 0), full.size());
}

TEST_F(OvMultiLangLibrary, LanguageNameStaysInsideItsFiftyUnits) {
  Load();
  ::setenv("LANG", "ja_JP.UTF-8", 1);
  char16_t buffer[kLangNameUnits + 10];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  ASSERT_NE(langName_(buffer), 0);
  EXPECT_EQ(std::u16string(buffer), u"japanese");
  for (size_t i = kLangNameUnits; i < kLangNameUnits + 10; ++i) EXPECT_EQ(buffer[i], u'#');
  EXPECT_EQ(langName_(nullptr), 0);
}

TEST_F(OvMultiLangLibrary, MissingLanguageFileFallsBackToEnglish) {
  fs::remove(LangFolder() / "german.lang");
  Load();
  ::setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(LanguageName(), u"english");
  EXPECT_EQ(Translate(u"Next"), u"Next");
}

TEST_F(OvMultiLangLibrary, MalformedLanguageFileFallsBackToEnglish) {
  std::ofstream(LangFolder() / "french.lang", std::ios::app) << "\nthis line has no equals sign\n";
  Load();
  ::setenv("LANG", "fr_FR.UTF-8", 1);
  EXPECT_EQ(LanguageName(), u"english");
  EXPECT_EQ(Translate(u"Back"), u"Back");
  EXPECT_EQ(Translate(u"Finish"), u"Finished");
}

TEST_F(OvMultiLangLibrary, BinaryGarbageAsLanguageFileDoesNotHurt) {
  {
    std::ofstream out(LangFolder() / "spanish.lang", std::ios::binary | std::ios::trunc);
    for (int i = 0; i < 4096; ++i) out.put(static_cast<char>((i * 131 + 7) & 0xFF));
  }
  Load();
  ::setenv("LANG", "es_ES.UTF-8", 1);
  EXPECT_EQ(Translate(u"Finish"), u"Finished");
}

TEST_F(OvMultiLangLibrary, WithoutAnyLanguageFilesKeysComeBack) {
  fs::remove_all(LangFolder());
  Load();
  ::setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(LanguageName(), u"english");
  EXPECT_EQ(Translate(u"Finish"), u"Finish");
}

// The program's loader with the shipped library and texts, across the UTF-16
// boundary both ways.
TEST_F(OvMultiLangLibrary, ProgramLoaderShowsTheShippedTexts) {
  kxtest::TestMachine machine;
  GetAppDataFolder();
  fs::path program = machine.Root('C') / "Program";
  fs::create_directories(program);
  fs::copy(dir_.path(), program, fs::copy_options::recursive);
  ::setenv("LANG", "fr_FR.UTF-8", 1);

  OvMultiLangDll dll(L"C:\\Program\\OvMultiLang.dll");
  ASSERT_TRUE(dll.IsLoaded());
  EXPECT_EQ(dll.Translate(L"Back"), L"Précédent");
  EXPECT_EQ(dll.Translate(L"Format warning1") + L" F:\\ " + dll.Translate(L"Format warning2"),
            L"Toutes les données du disque USB F:\\ seront effacées. Voulez-vous continuer ?");
  EXPECT_EQ(dll.LanguageName(), L"french");
  ::setenv("LANG", "ja_JP.UTF-8", 1);
  EXPECT_EQ(dll.Translate(L"Finish"), L"完了");
}

}  // namespace
