#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/fs/ini.h"
#include "platform/lasterror.h"
#include "platform/fs/readfile.h"
#include "testmachine.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

struct OutsideFile {
  const char* what;
  std::string path;  // relative to the test folder unless absolute
  DWORD expected;
};

}  // namespace

// Whatever stands at the name, the reader answers with an error number at
// once: no exception, no read of a device, no allocation for a huge file.
TEST(OutsideFileReader, EveryKindOfNameGivesItsErrorNumberQuickly) {
  kxtest::TempDir dir;
  std::ofstream(dir.path() / "good.ini", std::ios::binary) << "[a]\nk=v\n";
  std::ofstream(dir.path() / "empty.ini", std::ios::binary);
  std::ofstream(dir.path() / "cap.ini", std::ios::binary) << std::string(1000, 'x');
  fs::create_directory(dir.path() / "folder.ini");
  ::mkfifo((dir.path() / "fifo").c_str(), 0600);
  fs::resize_file((std::ofstream(dir.path() / "huge.ini"), dir.path() / "huge.ini"), 8ull << 30);

  const OutsideFile table[] = {
      {"a file", "good.ini", ERROR_SUCCESS},
      {"an empty file", "empty.ini", ERROR_SUCCESS},
      {"a missing file", "missing.ini", ERROR_FILE_NOT_FOUND},
      {"a missing folder on the way", "nowhere/x.ini", ERROR_FILE_NOT_FOUND},
      {"a file used as a folder", "good.ini/x.ini", ERROR_PATH_NOT_FOUND},
      {"a folder", "folder.ini", ERROR_DIRECTORY_NOT_SUPPORTED},
      {"a device of endless zeros", "/dev/zero", ERROR_BAD_FILE_TYPE},
      {"a pipe without a writer", "fifo", ERROR_BAD_FILE_TYPE},
      {"a file of gigabytes", "huge.ini", ERROR_FILE_TOO_LARGE},
      {"a file failing with an I/O error", "/proc/self/mem", ERROR_READ_FAULT},
      {"an empty name", "", ERROR_FILE_NOT_FOUND},
      {"a name with a NUL", std::string("good.ini\0.txt", 13), ERROR_INVALID_NAME},
  };
  for (const auto& row : table) {
    std::string path = row.path;
    if (!path.empty() && path[0] != '/' && path[0] != '\0') path = (dir.path() / path).string();
    if (row.path.find('\0') != std::string::npos) path = dir.str() + "/" + row.path;
    std::string bytes = "stale";
    auto start = std::chrono::steady_clock::now();
    DWORD r = ReadHostFile(path, bytes);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r, row.expected) << row.what;
    EXPECT_EQ(GetLastError(), row.expected) << row.what;
    if (r != ERROR_SUCCESS) {
      EXPECT_TRUE(bytes.empty()) << row.what;
    }
    EXPECT_LT(took, std::chrono::seconds(2)) << row.what;
    EXPECT_STRNE(ReadFileErrorText(r), "") << row.what;
  }

  std::string bytes;
  EXPECT_EQ(ReadHostFile((dir.path() / "good.ini").string(), bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, "[a]\nk=v\n");
  EXPECT_EQ(ReadHostFile((dir.path() / "cap.ini").string(), bytes, 1000), ERROR_SUCCESS);
  EXPECT_EQ(bytes.size(), 1000u);
  EXPECT_EQ(ReadHostFile((dir.path() / "cap.ini").string(), bytes, 999), ERROR_FILE_TOO_LARGE);
}

// System paths resolve through the drives; a NUL read from a file into a
// name makes it invalid instead of naming a shorter file.
TEST(OutsideFileReader, SystemPathsResolveAndNulNamesAreInvalid) {
  kxtest::TestMachine m({{.letter = 'E', .type = "cdrom"}});
  m.WriteFile('E', "sources/product.ini", "[sku]\nType=Ultimate\n");
  fs::create_directories(m.Root('E') / "sources" / "idwbinfo.txt");
  std::string bytes;
  EXPECT_EQ(ReadSystemFile(L"E:\\SOURCES\\Product.ini", bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, "[sku]\nType=Ultimate\n");
  EXPECT_EQ(ReadSystemFile(std::wstring(L"E:\\sources\\product.ini\0.bak", 27), bytes), ERROR_INVALID_NAME);
  EXPECT_EQ(ReadSystemFile(L"E:\\sources\\idwbinfo.txt", bytes), ERROR_DIRECTORY_NOT_SUPPORTED);
  EXPECT_EQ(ReadSystemFile(L"Q:\\x.ini", bytes), ERROR_PATH_NOT_FOUND);

  // A medium's INI that is a folder is a missing INI, not the end of the process.
  std::wstring v;
  GetPrivateProfileString(L"BUILDINFO", L"BuildArch", L"none", v, L"E:\\sources\\idwbinfo.txt");
  EXPECT_EQ(v, L"none");
}

// The end of a log: the last bytes of a regular file, the whole of a short
// one; a link, a folder or a pipe at the name gives an error and no bytes.
TEST(OutsideFileReader, TailIsTheFilesEndAndNeverFollowsALink) {
  kxtest::TempDir dir;
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "line " + std::to_string(i) + "\n";
  std::ofstream(dir.path() / "log.txt", std::ios::binary) << text;
  fs::create_symlink(dir.path() / "log.txt", dir.path() / "link.txt");
  fs::create_directory(dir.path() / "folder");
  ::mkfifo((dir.path() / "fifo").c_str(), 0600);

  const struct {
    const char* name;
    std::size_t count;
    DWORD expected;
    std::string bytes;
  } table[] = {
      {"log.txt", 12, ERROR_SUCCESS, text.substr(text.size() - 12)},
      {"log.txt", text.size() + 100, ERROR_SUCCESS, text},
      {"log.txt", 0, ERROR_SUCCESS, ""},
      {"link.txt", 12, ErrorFromErrno(ELOOP), ""},
      {"folder", 12, ERROR_DIRECTORY_NOT_SUPPORTED, ""},
      {"fifo", 12, ERROR_BAD_FILE_TYPE, ""},
      {"missing.txt", 12, ERROR_FILE_NOT_FOUND, ""},
  };
  for (const auto& row : table) {
    std::string bytes = "stale";
    EXPECT_EQ(ReadHostFileTail((dir.path() / row.name).string(), bytes, row.count), row.expected) << row.name;
    EXPECT_EQ(bytes, row.bytes) << row.name << " " << row.count;
  }
}
