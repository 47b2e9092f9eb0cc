#include <gtest/gtest.h>

#include <filesystem>

#include "platform/fs/files.h"
#include "platform/lasterror.h"
#include "platform/fs/shellops.h"
#include "testmachine.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {
std::vector<std::wstring> Names(const std::wstring& pattern) {
  std::vector<FindData> found;
  FindFiles(pattern, found);
  std::vector<std::wstring> names;
  for (const auto& f : found) names.push_back(f.name);
  std::sort(names.begin(), names.end());
  return names;
}
}  // namespace

TEST(Files, FindListsEveryEntryWithDotsAndMatchesWildcardsWithoutCase) {
  kxtest::TestMachine m({{.letter = 'E'}});
  m.WriteFile('E', "d/usb3hub.inf", "a");
  m.WriteFile('E', "d/USB3XHC.INF", "b");
  m.WriteFile('E', "d/readme", "c");
  fs::create_directories(m.Root('E') / "d/sub");
  EXPECT_EQ(Names(L"E:\\d\\*.*"),
            (std::vector<std::wstring>{L".", L"..", L"USB3XHC.INF", L"readme", L"sub", L"usb3hub.inf"}));
  EXPECT_EQ(Names(L"E:\\d\\*.inf"), (std::vector<std::wstring>{L"USB3XHC.INF", L"usb3hub.inf"}));
  EXPECT_EQ(Names(L"E:\\*"), (std::vector<std::wstring>{L"d"}));  // a root has no dot entries
  std::vector<FindData> none;
  EXPECT_FALSE(FindFiles(L"E:\\missing\\*", none));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(Files, ReadOnlyMapsOntoWritePermissionAndBlocksDelete) {
  kxtest::TestMachine m({{.letter = 'E'}});
  m.WriteFile('E', "f.txt", "x");
  ASSERT_TRUE(SetFileAttributes(L"E:\\f.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(GetFileAttributes(L"E:\\f.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(DeleteFile(L"E:\\f.txt"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(SetFileAttributes(L"E:\\f.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFile(L"E:\\f.txt"));
  EXPECT_EQ(GetFileAttributes(L"E:\\f.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST(Files, DirectoriesAreCreatedOneLevelOrAllLevels) {
  kxtest::TestMachine m({{.letter = 'E'}});
  EXPECT_FALSE(CreateDirectory(L"E:\\a\\b"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(CreateDirectoryRecursive(L"E:\\a\\b\\c"), ERROR_SUCCESS);
  EXPECT_EQ(CreateDirectoryRecursive(L"E:\\a\\b\\c"), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectory(L"E:\\a"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(RemoveDirectory(L"E:\\a"));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
}

TEST(Files, MoveRefusesAnExistingTargetUnlessAskedToReplace) {
  kxtest::TestMachine m({{.letter = 'E'}});
  m.WriteFile('E', "a", "new");
  m.WriteFile('E', "b", "old");
  EXPECT_FALSE(MoveFile(L"E:\\a", L"E:\\b"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFile(L"E:\\a", L"E:\\b", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(kxtest::ReadHostFile(m.Root('E') / "b"), "new");
}

TEST(ShellOperations, CopyOfAWildcardCopiesTheContentAndDeleteRemovesReadOnlyFiles) {
  kxtest::TestMachine m({{.letter = 'E'}, {.letter = 'F'}});
  m.WriteFile('E', "src/x/deep.txt", "1");
  m.WriteFile('E', "src/top.txt", "2");
  SHFILEOPSTRUCT copy;
  copy.wFunc = FO_COPY;
  copy.pFrom = std::wstring(L"E:\\src\\*") + L'\0';
  copy.pTo = std::wstring(L"F:\\dst") + L'\0';
  copy.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  EXPECT_EQ(SHFileOperation(copy), 0);
  EXPECT_EQ(kxtest::ReadHostFile(m.Root('F') / "dst/x/deep.txt"), "1");
  EXPECT_EQ(kxtest::ReadHostFile(m.Root('F') / "dst/top.txt"), "2");

  SetFileAttributes(L"F:\\dst\\top.txt", FILE_ATTRIBUTE_READONLY);
  SHFILEOPSTRUCT del;
  del.wFunc = FO_DELETE;
  del.pFrom = std::wstring(L"F:\\dst") + L'\0';
  EXPECT_EQ(SHFileOperation(del), 0);
  EXPECT_FALSE(fs::exists(m.Root('F') / "dst"));
  EXPECT_NE(SHFileOperation(del), 0);  // nothing left to delete
}
