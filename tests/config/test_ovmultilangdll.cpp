// The string-library loader against stand-in libraries that are copied into
// a test machine's program folder (tests/config/langlibs).

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "config/ovmultilangdll.h"
#include "disk/appfolders.h"
#include "platform/windows/window.h"
#include "testmachine.h"
#include "casename.h"

#ifndef KX_TEST_LANGLIB_DIR
#error "KX_TEST_LANGLIB_DIR names the folder of the stand-in libraries"
#endif

namespace {

namespace fs = std::filesystem;

constexpr wchar_t kDllPath[] = L"C:\\Program\\OvMultiLang.dll";
constexpr char kEntryPointLine[] = "m_pOvTranslateStr != NULL && m_pOvGetLangName != NULL";

struct BoxCall {
  platform::HWND owner;
  std::wstring text;
  std::wstring caption;
  platform::UINT type;
};

class RecordingBoxes final : public platform::MessageBoxPresenter {
 public:
  RecordingBoxes() { platform::SetMessageBoxPresenter(this); }
  ~RecordingBoxes() override { platform::SetMessageBoxPresenter(nullptr); }
  int Show(platform::HWND owner, const std::wstring& text, const std::wstring& caption, platform::UINT type) override {
    calls.push_back({owner, text, caption, type});
    return platform::IDOK;
  }
  std::vector<BoxCall> calls;
};

class OvMultiLangDllTest : public ::testing::Test {
 protected:
  void SetUp() override { GetAppDataFolder(); }  // the trace log's folder

  fs::path HostDll() const { return machine_.Root('C') / "Program" / "OvMultiLang.dll"; }

  // Puts a stand-in library where the loader will look.
  void Install(const std::string& variant) const {
    fs::create_directories(HostDll().parent_path());
    fs::copy_file(fs::path(KX_TEST_LANGLIB_DIR) / (variant + ".so"), HostDll());
  }

  // The capacities the installed stand-in was called with.
  std::vector<std::uint32_t> Capacities() const {
    void* handle = ::dlopen(HostDll().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return {};
    auto read = reinterpret_cast<int (*)(std::uint32_t*, int)>(::dlsym(handle, "FakeCapacities"));
    std::vector<std::uint32_t> out(4096);
    out.resize(read ? read(out.data(), static_cast<int>(out.size())) : 0);
    ::dlclose(handle);
    return out;
  }

  std::string TraceText() const {
    return kxtest::ReadHostFile(machine_.Root('C') / "ProgramData" / "Ovanta" / "Kestrunex" / "RAREzodav.log");
  }

  kxtest::TestMachine machine_;
  RecordingBoxes boxes_;
};

std::wstring Letters(size_t n) {
  std::wstring text(n, L'a');
  for (size_t i = 0; i < n; ++i) text[i] = static_cast<wchar_t>(L'a' + i % 26);
  return text;
}

TEST_F(OvMultiLangDllTest, TextThatFillsTheFirstBufferIsAskedForAgainWithALargerOne) {
  Install("fakelang_full");
  OvMultiLangDll dll(kDllPath);
  ASSERT_TRUE(dll.IsLoaded());

  EXPECT_EQ(dll.Translate(L"len:1023"), Letters(1023));
  EXPECT_EQ(Capacities(), (std::vector<std::uint32_t>{1024, 2048}));
}

TEST_F(OvMultiLangDllTest, TextThatLeavesRoomIsAskedForOnce) {
  Install("fakelang_full");
  OvMultiLangDll dll(kDllPath);

  EXPECT_EQ(dll.Translate(L"len:1022"), Letters(1022));
  EXPECT_EQ(Capacities(), (std::vector<std::uint32_t>{1024}));
}

TEST_F(OvMultiLangDllTest, LongTextGrowsTheBufferUntilItFitsAndComesBackWhole) {
  Install("fakelang_full");
  OvMultiLangDll dll(kDllPath);

  EXPECT_EQ(dll.Translate(L"len:2047"), Letters(2047));
  EXPECT_EQ(Capacities(), (std::vector<std::uint32_t>{1024, 2048, 3072}));
}

TEST_F(OvMultiLangDllTest, UnknownKeyShowsWhatTheLibraryWroteAndNothingElse) {
  Install("fakelang_full");
  OvMultiLangDll dll(kDllPath);

  EXPECT_EQ(dll.Translate(L"Some key"), L"?Some key?");
  EXPECT_EQ(dll.Translate(L""), L"??");
}

TEST_F(OvMultiLangDllTest, TextOutsideTheBasicPlaneCrossesTheBoundaryIntact) {
  Install("fakelang_full");
  OvMultiLangDll dll(kDllPath);

  EXPECT_EQ(dll.Translate(L"echo:Größe 日本語 \U0001F600"), L"Größe 日本語 \U0001F600");
}

TEST_F(OvMultiLangDllTest, LibraryThatAlwaysClaimsMoreIsNotFollowedForever) {
  Install("fakelang_full");
  OvMultiLangDll dll(kDllPath);

  std::wstring text = dll.Translate(L"liar");
  EXPECT_EQ(text.size(), OvMultiLangDll::kMaxBufferUnits - 1);
  EXPECT_EQ(Capacities().back(), OvMultiLangDll::kMaxBufferUnits);
}

TEST_F(OvMultiLangDllTest, LanguageNameComesFromTheLibrary) {
  Install("fakelang_full");
  OvMultiLangDll dll(kDllPath);

  EXPECT_EQ(dll.LanguageName(), L"klingon");
  EXPECT_TRUE(boxes_.calls.empty());
}

TEST_F(OvMultiLangDllTest, FailingLanguageNameWarnsWithoutOwnerAndGivesEmptyName) {
  Install("fakelang_namefails");
  OvMultiLangDll dll(kDllPath);

  EXPECT_EQ(dll.LanguageName(), L"");
  ASSERT_EQ(boxes_.calls.size(), 1u);
  EXPECT_EQ(boxes_.calls[0].owner, nullptr);
  EXPECT_EQ(boxes_.calls[0].text, L"OvGetLangName error");
  EXPECT_EQ(boxes_.calls[0].caption, L"OvMultiLangDll");
  EXPECT_EQ(boxes_.calls[0].type & platform::MB_ICONMASK, platform::MB_ICONWARNING);
  EXPECT_EQ(boxes_.calls[0].type & platform::MB_TYPEMASK, platform::MB_OK);
}

TEST_F(OvMultiLangDllTest, MissingLibraryGivesKeysAndEmptyNameAndSaysWhereItLooked) {
  OvMultiLangDll dll(kDllPath);

  EXPECT_FALSE(dll.IsLoaded());
  EXPECT_EQ(dll.Translate(L"Next"), L"Next");
  EXPECT_EQ(dll.LanguageName(), L"");
  EXPECT_TRUE(boxes_.calls.empty());
  EXPECT_NE(TraceText().find("Can not find C:\\Program\\OvMultiLang.dll"), std::string::npos) << TraceText();
}

TEST_F(OvMultiLangDllTest, FileThatIsNoLibraryIsReportedWithItsErrorNumber) {
  machine_.WriteFile('C', "Program/OvMultiLang.dll", "MZ this is not a shared library");
  OvMultiLangDll dll(kDllPath);

  EXPECT_FALSE(dll.IsLoaded());
  EXPECT_EQ(dll.Translate(L"Back"), L"Back");
  EXPECT_NE(TraceText().find("Load OvMultiLang.dll failed: GetLastError return 126"), std::string::npos)
      << TraceText();
}

class OvMultiLangDllEntryPointTest : public OvMultiLangDllTest,
                                     public ::testing::WithParamInterface<const char*> {};

TEST_P(OvMultiLangDllEntryPointTest, LibraryWithoutBothEntryPointsCountsAsNotLoaded) {
  Install(GetParam());
  OvMultiLangDll dll(kDllPath);

  EXPECT_FALSE(dll.IsLoaded());
  EXPECT_EQ(dll.Translate(L"Cancel"), L"Cancel");
  EXPECT_EQ(dll.LanguageName(), L"");
  EXPECT_TRUE(boxes_.calls.empty());
  EXPECT_NE(TraceText().find(kEntryPointLine), std::string::npos) << TraceText();
}

INSTANTIATE_TEST_SUITE_P(MissingEntryPoint, OvMultiLangDllEntryPointTest,
                         ::testing::Values("fakelang_notranslate", "fakelang_nolangname"), kxtest::ByText());

TEST(OvMultiLangDllPath, IsTheLibraryNameInTheProgramFolder) {
  std::wstring path = OvMultiLangDll::GetDllPath();
  ASSERT_GT(path.size(), std::wstring(L"OvMultiLang.dll").size());
  EXPECT_EQ(path.substr(path.size() - 16), L"\\OvMultiLang.dll");
}

}  // namespace
