#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "disk/foldertree.h"
#include "platform/fs/files.h"
#include "platform/lasterror.h"
#include "platform/text.h"
#include "testmachine.h"

namespace fs = std::filesystem;

TEST(CopyFolderTree, CopiesTheContentNotTheFolder) {
  kxtest::TestMachine m({{.letter = 'D'}});
  m.WriteFile('C', "a/one.txt", "1");
  m.WriteFile('C', "a/sub/two.txt", "22");
  EXPECT_TRUE(CopyFolderTree(L"C:\\a", L"D:\\b"));
  EXPECT_EQ(kxtest::ReadHostFile(m.Root('D') / "b/one.txt"), "1");
  EXPECT_EQ(kxtest::ReadHostFile(m.Root('D') / "b/sub/two.txt"), "22");
  EXPECT_FALSE(fs::exists(m.Root('D') / "b/a"));
}

TEST(CopyFolderTree, CopiesOneFileIntoAFolderAndRefusesBadInput) {
  kxtest::TestMachine m({{.letter = 'D'}});
  m.WriteFile('D', "sources/boot.wim", "wim");
  EXPECT_TRUE(CopyFolderTree(L"D:\\sources\\boot.wim", L"C:\\boot"));
  EXPECT_EQ(kxtest::ReadHostFile(m.Root('C') / "boot/boot.wim"), "wim");
  EXPECT_FALSE(CopyFolderTree(L"", L"C:\\x"));
  EXPECT_FALSE(CopyFolderTree(L"D:\\missing", L"C:\\x"));
  EXPECT_FALSE(CopyFolderTree(L"D:\\sources", L"C:\\" + std::wstring(258, L'x')));
}

TEST(DeleteFolderTree, DeletesWithOrWithoutTrailingBackslashAndRefusesMissing) {
  kxtest::TestMachine m;
  m.WriteFile('C', "t/x/y.txt", "y");
  platform::SetFileAttributes(L"C:\\t\\x\\y.txt", platform::FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteFolderTree(L"C:\\t\\"));
  EXPECT_FALSE(fs::exists(m.Root('C') / "t"));
  EXPECT_FALSE(DeleteFolderTree(L"C:\\t"));
  EXPECT_FALSE(DeleteFolderTree(L""));
}

TEST(DeleteFolderContents, EmptiesReadOnlyTreesAndRemovesTheFolder) {
  kxtest::TestMachine m;
  m.WriteFile('C', "t/a.txt", "a");
  m.WriteFile('C', "t/d/b.txt", "b");
  fs::create_directories(m.Root('C') / "t/empty");
  platform::SetFileAttributes(L"C:\\t\\d\\b.txt", platform::FILE_ATTRIBUTE_READONLY);
  DeleteFolderContents(L"C:\\t");
  EXPECT_FALSE(fs::exists(m.Root('C') / "t"));
}

TEST(FindFilesByExt, FindsEveryCaseAtAnyDepth) {
  kxtest::TestMachine m;
  m.WriteFile('C', "drv/usb3hub.inf", "");
  m.WriteFile('C', "drv/x64/deep/USB3HUB.INF", "");
  m.WriteFile('C', "drv/usb3hub.sys", "");
  m.WriteFile('C', "drv/inf", "");
  std::vector<std::wstring> list;
  FindFilesByExt(list, L"C:\\drv", L".INF");
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, (std::vector<std::wstring>{L"C:\\drv\\usb3hub.inf", L"C:\\drv\\x64\\deep\\USB3HUB.INF"}));
  FindFilesByExt(list, L"C:\\nothing", L".INF");
  EXPECT_EQ(list.size(), 2u);
}

TEST(FolderSizes, CountFilesDirectlyOrAtEveryDepth) {
  kxtest::TestMachine m;
  m.WriteFile('C', "s/a", std::string(1000, 'a'));
  m.WriteFile('C', "s/d/b", std::string(24, 'b'));
  m.WriteFile('C', "s/d/e/c", std::string(3, 'c'));
  EXPECT_EQ(GetFolderSize(L"C:\\s", false), 1000);
  EXPECT_EQ(GetFolderSize(L"C:\\s", true), 1027);
  EXPECT_EQ(GetFolderSize(L"C:\\none", true), 0);
  EXPECT_EQ(GetFileSize(L"C:\\s\\d\\b"), 24);
  EXPECT_EQ(GetFileSize(L"C:\\s\\missing"), 0);
}

TEST(DeleteFolderTree, RemovesLinksButNeverWhatTheyPointTo) {
  kxtest::TestMachine m({{.letter = 'E'}});
  m.WriteFile('C', "precious/keep.txt", "keep");
  m.WriteFile('E', "work/a.txt", "a");
  fs::create_directory_symlink(m.Root('C') / "precious", m.Root('E') / "work/link");
  fs::create_directories(m.Root('E') / "work2");
  fs::create_directory_symlink(m.Root('C') / "precious", m.Root('E') / "work2/link");

  EXPECT_TRUE(DeleteFolderTree(L"E:\\work\\"));
  EXPECT_FALSE(fs::exists(m.Root('E') / "work"));
  DeleteFolderContents(L"E:\\work2");
  EXPECT_FALSE(fs::exists(fs::symlink_status(m.Root('E') / "work2/link")));
  EXPECT_EQ(kxtest::ReadHostFile(m.Root('C') / "precious/keep.txt"), "keep");
}

TEST(DeleteFolderTree, NeverDeletesADriveRoot) {
  kxtest::TestMachine m({{.letter = 'E'}});
  m.WriteFile('E', "a.txt", "a");
  EXPECT_FALSE(DeleteFolderTree(L"E:\\"));
  EXPECT_TRUE(fs::exists(m.Root('E') / "a.txt"));
}

TEST(CopyFolderTree, RefusesToCopyATreeIntoItself) {
  kxtest::TestMachine m;
  m.WriteFile('C', "a/one.txt", "1");
  EXPECT_FALSE(CopyFolderTree(L"C:\\a", L"C:\\a\\sub"));
  EXPECT_FALSE(fs::exists(m.Root('C') / "a/sub/one.txt"));
}

namespace {

// The host path of a drive root in a spelling of the system (Z: is "/").
std::wstring OnZ(const fs::path& host) {
  std::wstring out = L"Z:";
  for (wchar_t c : host.wstring()) out += c == L'/' ? L'\\' : c;
  return out;
}

}  // namespace

// A drive's root is compared by where a path leads, not by how it is spelt:
// a tree delete of any spelling keeps every file of the drive, and emptying
// it keeps the root folder.
TEST(DeleteFolderTree, NoSpellingOfADriveRootDeletesTheDrive) {
  kxtest::TestMachine m({{.letter = 'E'}});
  const std::wstring spellings[] = {L"E:\\.",        L"\\\\?\\E:\\",       L"E:\\x\\..",     L"e:",
                                    L"E:\\\\",       L"\\\\.\\E:\\.\\",    L"E:\\x\\..\\.\\", L"E:/",
                                    OnZ(m.Root('E')), OnZ(m.Root('E') / "x" / "..")};
  for (const auto& spelling : spellings) {
    m.WriteFile('E', "x/a.txt", "a");
    m.WriteFile('E', "b.txt", "b");
    EXPECT_FALSE(DeleteFolderTree(spelling)) << platform::AnsiFromWide(spelling);
    EXPECT_EQ(kxtest::ReadHostFile(m.Root('E') / "x/a.txt"), "a") << platform::AnsiFromWide(spelling);

    DeleteFolderContents(spelling);
    EXPECT_TRUE(fs::is_directory(m.Root('E'))) << platform::AnsiFromWide(spelling);
    EXPECT_TRUE(fs::is_empty(m.Root('E'))) << platform::AnsiFromWide(spelling);
  }
  EXPECT_FALSE(platform::MoveFile(L"\\\\?\\E:\\", L"C:\\moved"));
  EXPECT_FALSE(platform::RemoveDirectory(L"E:\\."));
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fs::is_directory(m.Root('E')));
}

// Links are links for every walk: nothing outside the tree changes, is
// counted or found, and a link back into the tree cannot make a walk loop.
TEST(TreeWalks, TreatALinkAsALinkAndNeverLoop) {
  kxtest::TestMachine m({{.letter = 'E'}});
  m.WriteFile('C', "outside/secret.inf", "0123456789");
  fs::permissions(m.Root('C') / "outside/secret.inf", fs::perms::owner_read);
  m.WriteFile('E', "t/a.inf", "aaaa");
  m.WriteFile('E', "t/sub/b.inf", "bb");
  fs::create_directory_symlink(m.Root('E') / "t", m.Root('E') / "t/self");            // a loop
  fs::create_directory_symlink(m.Root('E') / "t/sub", m.Root('E') / "t/sub/again");  // another
  fs::create_directory_symlink(m.Root('C') / "outside", m.Root('E') / "t/out");
  fs::create_symlink(m.Root('C') / "outside/secret.inf", m.Root('E') / "t/secret.inf");

  EXPECT_EQ(GetFolderSize(L"E:\\t", true), 4 + 2 + 10);  // the file link counts what a copy copies
  std::vector<std::wstring> infs;
  FindFilesByExt(infs, L"E:\\t", L".INF");
  std::sort(infs.begin(), infs.end());
  EXPECT_EQ(infs, (std::vector<std::wstring>{L"E:\\t\\a.inf", L"E:\\t\\secret.inf", L"E:\\t\\sub\\b.inf"}));

  ASSERT_TRUE(CopyFolderTree(L"E:\\t", L"E:\\copy"));
  EXPECT_TRUE(fs::is_symlink(m.Root('E') / "copy/self"));
  EXPECT_EQ(fs::read_symlink(m.Root('E') / "copy/self"), m.Root('E') / "t");
  EXPECT_EQ(kxtest::ReadHostFile(m.Root('E') / "copy/sub/b.inf"), "bb");

  // Clearing read-only flags and deleting touch the links, not their targets.
  EXPECT_TRUE(ClearReadOnly(L"E:\\t\\secret.inf"));
  DeleteFolderContents(L"E:\\t");
  EXPECT_TRUE(DeleteFolderTree(L"E:\\copy"));
  EXPECT_FALSE(fs::exists(m.Root('E') / "t"));
  const auto perms = fs::status(m.Root('C') / "outside/secret.inf").permissions();
  EXPECT_EQ(perms & fs::perms::all, fs::perms::owner_read);
  EXPECT_EQ(kxtest::ReadHostFile(m.Root('C') / "outside/secret.inf"), "0123456789");
}
