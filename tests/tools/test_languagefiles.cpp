// The shipped language files: every key the program asks for has a text in
// every language, and no file carries a key the program never asks for.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "catalogue.h"
#include "languagefiles.h"
#include "testmachine.h"
#include "casename.h"

namespace {

namespace fs = std::filesystem;

// The keys the windows, the worker, the USB preparation and the headless
// command ask for.
const std::set<std::u16string> kProgramKeys = {
    u"Adding driver", u"Back", u"Disk", u"No admin rights", u"Browse", u"Cancel", u"CancelMsg", u"CancelStatus", u"Capacity",
    u"Commit success", u"Commit", u"Compatibility Instruction", u"Compatibility Mode", u"Copy OS",
    u"Copy success", u"Copy", u"Disk too small", u"Error", u"Exit", u"File too large for FAT32", u"Finish",
    u"Format confirm",
    u"Format failure", u"Format success", u"Format warning1", u"Format warning2", u"Format",
    u"Generating ISO", u"I agree", u"ISO Step2 Caption", u"ISO Step2 Note", u"ISO Step3 Caption",
    u"Mount success", u"Mount", u"Next", u"Not NTFS", u"Note", u"ODDToISO", u"ODDToUSB",
    u"Operation failed", u"Open ISO Image", u"Please select", u"Please wait", u"Space warning1", u"Status", u"Step1",
    u"Step2", u"Step3", u"Still failed", u"SuccessMsg", u"Successfully updated", u"Tool Description",
    u"USB Note", u"USB Step1 Caption", u"USB Step1 Note", u"USB Step2 Caption", u"USB Step2 Insert Note",
    u"USB Step2 Select Note", u"USB Step3 Caption", u"USB Step3 Note", u"UnMount", u"Warning",
    // kestrunex-cli
    u"Cli Answer", u"Cli Answered", u"Cli Bad Option", u"Cli Busy", u"Cli Help", u"Cli Iso File", u"Cli No",
    u"Cli Bad Source", u"Cli Image Drive", u"Cli No Terminal", u"Cli Not Optical", u"Cli Profile Error", u"Cli See Help", u"Cli Source Empty",
    u"Cli Trace Log", u"Cli Usb Needs Root", u"Cli Yes",
    // the line on the target after a failed or cancelled job
    u"Cli State Stick Unchanged", u"Cli State Stick Partly", u"Cli State Stick Formatted",
    u"Cli State Stick Unchecked", u"Cli State Folder Unchanged", u"Cli State Image Kept",
    u"Cli State Image Unchecked",
    // a job whose stick was not written out
    u"Release Failed",
    // the format question names the stick's mounts that go first
    u"Format Mounted",
    u"Cli Busy Holder", u"Cli No Program Folder", u"Cli Prefix Refused",
    u"Cli Yes Answers", u"Cli No Answers", u"Cli Unknown Option", u"Cli Needs Value", u"Cli One Target",
    u"Cli No Drive", u"Cli No Disk", u"Cli No Partition",
    // the verification pass
    u"Verify Boot Missing", u"Verify Differs", u"Verify Missing", u"Verify Offset", u"Verify Passed",
    u"Verify Source Unreadable", u"Verify Start", u"Verify Unreadable", u"Verify Wim Damaged",
    // the checks before anything is erased
    u"FAT32 recovery refused", u"Not Windows 7 medium", u"Medium file missing", u"Medium file unreadable",
    u"Medium file not WIM", u"Medium install esd", u"Medium other Windows", u"Stick too small", u"Stick sectors",
    u"ISO folder in work folder", u"Cli Failed Step", u"Cli Last Trace Line", u"Disk In Use",
    u"ISO Folder Not Writable", u"Usb Entry Not Ready", u"Usb Entry Too Small",
    // starting as administrator from the desktop
    u"Admin Desktop Action", u"Admin Start Failed",
    // the erase question's default and answer, --usb by image or loop device, the wizard's --help
    u"Cli Answer Default No", u"Cli Nothing Changed", u"Cli Usb Forms", u"Cli Loop Over Device", u"Wizard Help",
    // the driver library
    u"Drivers Help", u"Drivers Library", u"Drivers Empty", u"Drivers Sample", u"Drivers From", u"Drivers Added On",
    u"Drivers Ids", u"Drivers Added", u"Drivers Already", u"Drivers Removed", u"Drivers Refused",
    u"Drivers Not Found", u"Drivers Needs Root", u"Drivers Cannot Write", u"Drivers Inno", u"Drivers InstallShield",
    u"Drivers Unreadable", u"Drivers Not Archive", u"Drivers Unsafe Name", u"Drivers Link", u"Drivers Too Large",
    u"Drivers Too Many", u"Drivers Damaged", u"Drivers Write Failed", u"Drivers Tool Failed", u"Drivers Member Unreadable",
    u"Drivers Not Driver Inf", u"Drivers Not Usb", u"Drivers No Models", u"Drivers Missing Files",
    u"Drivers No Catalog", u"Drivers Inf Unreadable", u"Drivers No Inf", u"Drivers Run Folder Failed", u"No Drivers",
    u"Drivers Catalog Unreadable", u"Drivers Not Catalog", u"Drivers Catalog Not Signed", u"Drivers Untrusted Root",
    u"Drivers File Mismatch", u"Drivers Boot Unsigned", u"Drivers Unsigned Hint", u"Drivers Warning",
    u"Drivers Signature Unchecked", u"Drivers Not Signed For Windows", u"Drivers Signed By",
    u"Drivers Added Unsigned", u"Drivers Run Unsigned", u"Drivers Proof Whql", u"Drivers Proof Cross",
    u"Drivers Proof Sha256", u"Drivers Proof Untrusted", u"Drivers Proof Unsigned", u"Drivers Wrong Usage",
    u"Drivers Sha256 Only", u"Drivers Too Complex", u"Drivers Roots Unreadable", u"Drivers Unreadable Name",
    u"Drivers Windows Name", u"Drivers Interrupted",
    u"Drivers Check Help", u"Drivers Check Here", u"Drivers Check File", u"Drivers Check None",
    u"Drivers Check Subsystem", u"Drivers Check Driven", u"Drivers Check Matched", u"Drivers Check Not Driven",
    u"Drivers Check Builtin", u"Drivers Check Other", u"Drivers Check Summary", u"Drivers Check Unreadable",
    u"Drivers Check No Listing", u"Drivers Kind Usb", u"Drivers Kind Storage", u"Drivers Check Storage",
    u"Drivers Check No Storage", u"Drivers Check Storage Builtin", u"Drivers Check Nvme", u"Drivers Check May Need",
    u"Drivers Check Not Loaded", u"Drivers Check Hub Missing", u"Drivers Check Storage Summary",
    u"Drivers Load Findings", u"Drivers Storage Undriven", u"Drivers Run Not Loaded",
    u"Drivers Several", u"Drivers Device", u"Drivers Version",
    u"No Drivers Add",
};

const char* const kShippedLanguages[] = {"english", "spanish", "french", "german", "japanese"};

class ShippedLanguage : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedLanguage, HasANonEmptyTextForEveryKeyAndNoOtherKeys) {
  std::string text = kxtest::ReadHostFile(fs::path(KX_LANG_SOURCE_DIR) / (std::string(GetParam()) + ".lang"));
  ASSERT_FALSE(text.empty());
  ovml::Catalogue catalogue;
  std::string error;
  ASSERT_TRUE(catalogue.Parse(text, &error)) << error;
  for (const auto& key : kProgramKeys) {
    const std::u16string* value = catalogue.Find(key);
    ASSERT_NE(value, nullptr) << std::string(key.begin(), key.end());
    // Blanks alone are no text either.
    EXPECT_TRUE(std::any_of(value->begin(), value->end(), [](char16_t c) { return c > u' '; }))
        << std::string(key.begin(), key.end());
  }
  EXPECT_EQ(catalogue.size(), kProgramKeys.size()) << "a file names a key the program never asks for";
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguage, ::testing::ValuesIn(kShippedLanguages), kxtest::ByText());

TEST(ShippedLanguages, AreExactlyTheKnownOnes) {
  std::set<std::string> found;
  for (const auto& entry : fs::directory_iterator(KX_LANG_SOURCE_DIR))
    if (entry.path().extension() == ".lang") found.insert(entry.path().stem().string());
  EXPECT_EQ(found, std::set<std::string>(std::begin(kShippedLanguages), std::end(kShippedLanguages)));
}

// Texts that frame a value keep the blank that separates them from it.
TEST(ShippedLanguages, CapacityEndsWithABlankForTheNumberThatFollows) {
  for (const char* language : kShippedLanguages) {
    ovml::Catalogue catalogue;
    ASSERT_TRUE(catalogue.Parse(kxtest::ReadHostFile(fs::path(KX_LANG_SOURCE_DIR) / (std::string(language) + ".lang"))));
    const std::u16string* capacity = catalogue.Find(u"Capacity");
    ASSERT_NE(capacity, nullptr);
    EXPECT_EQ(capacity->back(), u' ') << language;
  }
}

class LanguageFilesFallback : public ::testing::Test {
 protected:
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_.path() / (name + ".lang"), std::ios::binary) << text;
  }
  std::string Folder() const { return dir_.str() + "/"; }
  kxtest::TempDir dir_;
};

TEST_F(LanguageFilesFallback, KeyMissingInALanguageTakesTheEnglishText) {
  Write("english", "Next = Next\nBack = Back\n");
  Write("german", "Next = Weiter\n");
  ovml::LanguageFiles files(Folder());
  EXPECT_EQ(files.Translate("german", u"Next"), u"Weiter");
  EXPECT_EQ(files.Translate("german", u"Back"), u"Back");
  EXPECT_EQ(files.Translate("german", u"Unknown"), u"Unknown");
  EXPECT_EQ(files.Effective("german"), "german");
}

TEST_F(LanguageFilesFallback, MalformedOrMissingLanguageMeansEnglish) {
  Write("english", "Next = Next\n");
  Write("french", "Next = Suivant\nbroken line\n");
  ovml::LanguageFiles files(Folder());
  EXPECT_EQ(files.Translate("french", u"Next"), u"Next");
  EXPECT_EQ(files.Effective("french"), "english");
  EXPECT_EQ(files.Translate("spanish", u"Next"), u"Next");
  EXPECT_EQ(files.Effective("spanish"), "english");
}

// A folder, a device or a pipe at a language's name is no language file:
// English, at once (a device of endless zeros used to be read without end).
TEST_F(LanguageFilesFallback, FoldersDevicesAndPipesAtALanguagesNameMeanEnglish) {
  Write("english", "Next = Next\n");
  fs::create_directory(dir_.path() / "german.lang");
  fs::create_symlink("/dev/zero", dir_.path() / "french.lang");
  ASSERT_EQ(::mkfifo((dir_.path() / "spanish.lang").c_str(), 0600), 0);
  ovml::LanguageFiles files(Folder());
  for (const char* language : {"german", "french", "spanish"}) {
    EXPECT_EQ(files.Translate(language, u"Next"), u"Next") << language;
    EXPECT_EQ(files.Effective(language), "english") << language;
  }
}

TEST_F(LanguageFilesFallback, NoFilesAtAllGiveTheKeys) {
  ovml::LanguageFiles files(Folder() + "missing/");
  EXPECT_EQ(files.Translate("english", u"Copy success"), u"Copy success");
  EXPECT_EQ(files.Effective("german"), "english");
}

}  // namespace
