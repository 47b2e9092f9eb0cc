// Drives backed by a disc image: the image's own file system read through
// the platform's file services, as an optical drive with the disc in it.
// Images are made two ways (our oscdimg with its UDF bridge, xorriso without
// UDF) from one tree, and the tree itself is the oracle. Damaged images are
// refused with the file named, never followed round a loop or past the end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/fs/copyfile.h"
#include "platform/fs/filereader.h"
#include "platform/fs/files.h"
#include "platform/fs/ini.h"
#include "platform/fs/readfile.h"
#include "platform/image/imagevolume.h"
#include "platform/image/isotree.h"
#include "platform/image/udftree.h"
#include "platform/lasterror.h"
#include "platform/machine/imagedrive.h"
#include "platform/machine/machine.h"
#include "platform/machine/volumes.h"
#include "platform/text.h"
#include "testmachine.h"
#include "casename.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

constexpr std::size_t kBigFileBytes = 9u << 20;  // more than two copy chunks
constexpr int kManyFiles = 300;                  // a folder of several blocks

std::string Pattern(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + i / 4096) & 0xFF);
  return s;
}

void Write(const fs::path& file, const std::string& data) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << data;
}

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The medium: a Windows 7 DVD's INI files, nested folders, long names with
// spaces, an empty file, a file over several chunks, a folder of many names.
void MakeTree(const fs::path& root) {
  Write(root / "bootmgr", Pattern(3000, 1));
  Write(root / "sources" / "product.ini", "[sku]\r\nType=Embedded\r\n");
  Write(root / "sources" / "idwbinfo.txt", "[BUILDINFO]\r\nBuildArch=amd64\r\n");
  Write(root / "sources" / "install.wim", Pattern(kBigFileBytes, 2));
  Write(root / "sources" / "empty.txt", "");
  Write(root / "Deep Folder" / "Level 2" / "Level 3" / "A long name with spaces.txt", "deep");
  for (int i = 0; i < kManyFiles; ++i) Write(root / "many" / ("file number " + std::to_string(i) + ".dat"), std::to_string(i));
}

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string OscdimgPath() { return std::string(KX_PROGRAM_DIR) + "/Oscdimg_x86/Oscdimg/oscdimg.exe"; }

// Makes the image; the file system the drive must report.
std::wstring MakeImage(const std::string& maker, const fs::path& tree, const fs::path& iso) {
  if (maker == "oscdimg") {
    EXPECT_TRUE(Shell("'" + OscdimgPath() + "' -lTEST_DVD -m -o -u1 -udfver102 '" + tree.string() + "' '" + iso.string() + "'"));
    return L"UDF";
  }
  EXPECT_TRUE(Shell("xorriso -as mkisofs -quiet -iso-level 3 -J -joliet-long -V TEST_DVD -o '" + iso.string() + "' '" +
                    tree.string() + "'"));
  return L"CDFS";
}

// Every file under a drive path, by relative path with '/', and its size.
void Walk(const std::wstring& folder, const std::string& prefix, std::map<std::string, std::uint64_t>& out) {
  std::vector<FindData> entries;
  ASSERT_TRUE(FindFiles(folder + L"\\*", entries)) << AnsiFromWide(folder);
  for (const auto& e : entries) {
    if (e.IsDots()) continue;
    const std::string name = prefix + AnsiFromWide(e.name);
    if (e.IsFolder()) Walk(folder + L"\\" + e.name, name + "/", out);
    else out[name] = e.size;
  }
}

class ImageDrive : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    MakeTree(dir_.path() / "tree");
    iso_ = dir_.path() / "medium.iso";
    fileSystem_ = MakeImage(GetParam(), dir_.path() / "tree", iso_);
    ASSERT_TRUE(fs::exists(iso_));
    Write(dir_.path() / "machine.ini", "[drive E]\nimage = medium.iso\ntype = cdrom\n[drive G]\nfolder = out\n");
    fs::create_directories(dir_.path() / "out");
    machine_ = std::make_unique<ScopedMachine>(Machine::FromProfile((dir_.path() / "machine.ini").string(), dir_.str()));
  }
  kxtest::TempDir dir_;
  fs::path iso_;
  std::wstring fileSystem_;
  std::unique_ptr<ScopedMachine> machine_;
};

TEST_P(ImageDrive, AnswersAsAnOpticalDriveWithTheImagesLabelAndSize) {
  EXPECT_EQ(GetDriveType(L"E:\\"), DRIVE_CDROM);
  std::wstring label, fileSystem;
  ASSERT_TRUE(GetVolumeInformation(L"E:\\", &label, &fileSystem));
  EXPECT_EQ(label, L"TEST_DVD");
  EXPECT_EQ(fileSystem, fileSystem_);
  std::uint64_t free = 1, total = 0;
  ASSERT_TRUE(GetDiskFreeSpaceEx(L"E:\\", &free, &total, nullptr));
  EXPECT_EQ(free, 0u);
  EXPECT_EQ(total, fs::file_size(iso_));
}

TEST_P(ImageDrive, ListsReadsAndCopiesWhatTheTreeHolds) {
  std::map<std::string, std::uint64_t> expected, listed;
  const fs::path tree = dir_.path() / "tree";
  for (const auto& e : fs::recursive_directory_iterator(tree))
    if (e.is_regular_file()) expected[fs::relative(e.path(), tree).generic_string()] = e.file_size();
  Walk(L"E:", "", listed);
  EXPECT_EQ(listed, expected);

  // Names match without regard to case; attributes are a disc's.
  EXPECT_EQ(GetFileAttributes(L"e:\\SOURCES\\Install.WIM"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(GetFileAttributes(L"E:\\deep folder\\LEVEL 2"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributes(L"E:\\sources\\nothing.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributes(L"E:\\nowhere\\nothing.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  std::uint64_t size = 0;
  ASSERT_TRUE(GetFileSize(L"E:\\sources\\install.wim", size));
  EXPECT_EQ(size, kBigFileBytes);

  // The medium's INI files, as the medium checks read them.
  std::wstring type;
  GetPrivateProfileString(L"sku", L"Type", L"", type, L"E:\\sources\\product.ini");
  EXPECT_EQ(type, L"Embedded");

  // Copies keep every byte and report progress by chunks.
  int calls = 0;
  auto progress = [](std::int64_t, std::int64_t, std::int64_t, std::int64_t, DWORD, DWORD, HANDLE, HANDLE,
                     void* data) -> DWORD {
    ++*static_cast<int*>(data);
    return PROGRESS_CONTINUE;
  };
  for (const auto& [name, bytes] : expected) {
    std::wstring from = L"E:\\" + WideFromAnsi(name), to = L"G:\\copy";
    for (auto& c : from) c = c == L'/' ? L'\\' : c;
    ASSERT_TRUE(CopyFileEx(from, to, progress, &calls, nullptr, 0)) << name << " " << GetLastError();
    ASSERT_TRUE(Read(dir_.path() / "out" / "copy") == Read(tree / name)) << name;
  }
  EXPECT_GE(calls, static_cast<int>(expected.size()) + 2);

  FileReader reader;
  ASSERT_TRUE(reader.Open(L"E:\\bootmgr"));
  std::string got(reader.Size(), '\0');
  std::size_t have = 0;
  for (std::int64_t n = 1; n > 0 && have < got.size(); have += static_cast<std::size_t>(std::max<std::int64_t>(n, 0)))
    n = reader.Read(got.data() + have, got.size() - have);
  EXPECT_EQ(have, got.size());
  EXPECT_TRUE(got == Read(tree / "bootmgr"));
}

TEST_P(ImageDrive, RefusesEveryWrite) {
  EXPECT_FALSE(CreateDirectory(L"E:\\new"));
  EXPECT_EQ(GetLastError(), ERROR_WRITE_PROTECT);
  EXPECT_FALSE(DeleteFile(L"E:\\bootmgr"));
  EXPECT_FALSE(CopyFileEx(L"G:\\..\\machine.ini", L"E:\\x", nullptr, nullptr, nullptr, 0));
  std::string bytes;
  EXPECT_EQ(ReadSystemFile(L"E:\\sources", bytes), ERROR_DIRECTORY_NOT_SUPPORTED);
}

INSTANTIATE_TEST_SUITE_P(Makers, ImageDrive, ::testing::Values("oscdimg", "xorriso"), kxtest::ByText());

// --- damaged images ---------------------------------------------------------

std::uint32_t Le32(const std::string& s, std::size_t at) {
  return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8 |
         static_cast<unsigned char>(s[at + 2]) << 16 | static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}

void PutBoth32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    s[at + i] = static_cast<char>(v >> (8 * i));
    s[at + 7 - i] = static_cast<char>(v >> (8 * i));
  }
}

// The offset of the Joliet folder record named `name` in the root folder.
std::size_t JolietRecord(const std::string& iso, const std::string& name, std::uint32_t* rootLba) {
  for (std::size_t vd = 17 * 2048; vd + 2048 <= iso.size(); vd += 2048) {
    if (iso[vd] != 2) continue;
    *rootLba = Le32(iso, vd + 156 + 2);
    const std::size_t start = *rootLba * 2048ull, length = Le32(iso, vd + 156 + 10);
    std::string wanted;
    for (char c : name) wanted += std::string(1, '\0') + c;
    for (std::size_t pos = start; pos < start + length;) {
      const auto len = static_cast<unsigned char>(iso[pos]);
      if (len == 0) {
        pos = (pos / 2048 + 1) * 2048;
        continue;
      }
      if (iso.compare(pos + 33, wanted.size(), wanted) == 0) return pos;
      pos += len;
    }
  }
  return 0;
}

TEST(ImageDriveDamage, BadImagesAreRefusedNamingTheFile) {
  kxtest::TempDir dir;
  const fs::path tree = dir.path() / "tree";
  Write(tree / "loop" / "inner.txt", "x");
  Write(tree / "data.bin", Pattern(5000, 3));
  const fs::path good = dir.path() / "good.iso";
  MakeImage("xorriso", tree, good);
  const std::string iso = Read(good);
  std::uint32_t rootLba = 0;
  const std::size_t loopRecord = JolietRecord(iso, "loop", &rootLba);
  const std::size_t dataRecord = JolietRecord(iso, "data.bin", &rootLba);
  ASSERT_NE(loopRecord, 0u);
  ASSERT_NE(dataRecord, 0u);

  struct Case {
    const char* name;
    std::string bytes;
    const char* reason;
  };
  std::string loops = iso;
  PutBoth32(loops, loopRecord + 2, rootLba);  // the folder "loop" is the root again
  std::string outside = iso;
  PutBoth32(outside, dataRecord + 2, 0x00FFFFFF);  // the file's data far past the end
  std::string slash = iso;
  slash[dataRecord + 33 + 9] = '/';  // "data/bin"
  std::string dots = iso;
  const std::string dotdot = std::string("\0.\0.", 4);
  dots.replace(dataRecord + 33, 4, dotdot);
  dots[dataRecord + 32] = 4;
  // Names Windows cannot hold, in the Joliet tree (character k of
  // "data.bin" is the low byte of its UCS-2 pair).
  auto renamed = [&](std::size_t k, const std::string& with) {
    std::string bytes = iso;
    for (std::size_t i = 0; i < with.size(); ++i) bytes[dataRecord + 33 + 2 * (k + i) + 1] = with[i];
    return bytes;
  };
  const std::vector<Case> cases = {
      {"colon.iso", renamed(4, ":"), "Windows cannot hold: data:bin"},
      {"control.iso", renamed(0, "\x1b"), "Windows cannot hold: \\x1bata.bin"},
      {"trailingdot.iso", renamed(7, "."), "Windows cannot hold: data.bi."},
      {"device.iso", renamed(0, "con."), "Windows cannot hold: con..bin"},
      {"truncated.iso", iso.substr(0, 16 * 2048 + 100), "no ISO 9660 or UDF"},
      {"cutbeforeroot.iso", iso.substr(0, (rootLba - 1) * 2048ull), "outside the image"},
      {"notaniso.iso", Pattern(200000, 9), "no ISO 9660 or UDF"},
      {"empty.iso", "", "no ISO 9660 or UDF"},
      {"loops.iso", loops, "leads back"},
      {"outside.iso", outside, "outside the image"},
      {"slash.iso", slash, "no file can have"},
      {"dotdot.iso", dots, "no file can have"},
  };
  for (const Case& c : cases) {
    const fs::path file = dir.path() / c.name;
    Write(file, c.bytes);
    std::string error;
    EXPECT_EQ(image::ImageVolume::Open(file.string(), error), nullptr) << c.name;
    EXPECT_NE(error.find(file.string()), std::string::npos) << c.name << ": " << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    // A profile that declares it says so with its line.
    Write(dir.path() / "machine.ini", std::string("[drive E]\nimage = ") + c.name + "\n");
    try {
      Machine::FromProfile((dir.path() / "machine.ini").string(), dir.str());
      ADD_FAILURE() << c.name << " was accepted by the profile";
    } catch (const ProfileError& e) {
      EXPECT_EQ(e.line(), 2) << c.name;
      EXPECT_NE(std::string(e.what()).find(c.name), std::string::npos) << e.what();
    }
  }
  // A folder, a pipe: not images, and nothing waits for a writer.
  std::string error;
  EXPECT_EQ(image::ImageVolume::Open(tree.string(), error), nullptr);
  EXPECT_NE(error.find("is a folder"), std::string::npos) << error;
  const fs::path fifo = dir.path() / "fifo.iso";
  ASSERT_TRUE(Shell("mkfifo '" + fifo.string() + "'"));
  EXPECT_EQ(image::ImageVolume::Open(fifo.string(), error), nullptr);
  EXPECT_NE(error.find("pipe"), std::string::npos) << error;
}

TEST(ImageDriveDamage, AnImageTruncatedInsideAFileFailsItsCopy) {
  kxtest::TempDir dir;
  const fs::path tree = dir.path() / "tree";
  Write(tree / "big.bin", Pattern(kBigFileBytes, 4));
  const fs::path iso = dir.path() / "cut.iso";
  MakeImage("oscdimg", tree, iso);
  fs::resize_file(iso, fs::file_size(iso) - kBigFileBytes / 2);
  fs::create_directories(dir.path() / "out");
  Machine machine;
  DriveDecl out;
  out.letter = L'G';
  out.hostFolder = (dir.path() / "out").string();
  machine.AddDrive(out);
  ScopedMachine scoped(machine);
  std::string error;
  const wchar_t letter = AddImageDrive(iso.string(), error);
  if (letter == 0) {
    // Refused whole: the tree itself lies beyond the cut. Named all the same.
    EXPECT_NE(error.find(iso.string()), std::string::npos) << error;
    return;
  }
  EXPECT_EQ(letter, L'D');
  EXPECT_FALSE(CopyFileEx(L"D:\\big.bin", L"G:\\big.bin", nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_READ_FAULT);
  EXPECT_FALSE(fs::exists(dir.path() / "out" / "big.bin"));
}

}  // namespace

// A sparse file over 4 GiB, as our oscdimg stores it: several ISO 9660
// extents joined by our reader, one UDF file read through libudfread, with
// marks at its start, across the first extent boundary and at its end.
TEST(ImageDriveLargeFile, OverFourGiBReadsBackOnBothSides) {
  constexpr std::uint64_t kSize = (4ull << 30) + (5ull << 20) + 123;
  constexpr std::uint64_t kFirstExtent = 0xFFFFF800ull;
  kxtest::TempDir dir;
  const fs::path wim = dir.path() / "src" / "sources" / "install.wim", iso = dir.path() / "big.iso";
  fs::create_directories(wim.parent_path());
  {
    std::ofstream(wim, std::ios::binary) << "MSWIM start";
    fs::resize_file(wim, kSize);
    std::fstream f(wim, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(kFirstExtent - 6));
    f << "before|after";
    f.seekp(static_cast<std::streamoff>(kSize - 4));
    f << "end!";
  }
  MakeImage("oscdimg", dir.path() / "src", iso);
  fs::remove(wim);

  image::ImageSource source;
  std::string error;
  ASSERT_TRUE(source.Open(iso.string(), error)) << error;
  auto mark = [](auto&& readAt, std::uint64_t offset, std::size_t n) {
    std::string s(n, '\0');
    readAt(offset, s.data(), n);
    return s;
  };
  image::Tree tree;
  ASSERT_TRUE(image::ReadIsoTree(source, tree, error)) << error;
  const image::Node* file = nullptr;
  for (const auto& node : tree.nodes)
    if (image::PathOf(tree, static_cast<std::uint32_t>(&node - tree.nodes.data())) == "/sources/install.wim") file = &node;
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->size, kSize);
  ASSERT_GE(file->extents.size(), 2u);
  // Byte by byte through the extents, so a mark may cross from one to the next.
  auto isoAt = [&](std::uint64_t offset, char* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      std::uint64_t at = offset + i;
      for (const auto& x : file->extents) {
        if (at < x.length) {
          source.ReadExact(x.offset + at, out + i, 1);
          break;
        }
        at -= x.length;
      }
    }
  };
  EXPECT_EQ(mark(isoAt, 0, 11), "MSWIM start");
  EXPECT_EQ(mark(isoAt, kFirstExtent - 6, 12), "before|after");
  EXPECT_EQ(mark(isoAt, kSize - 4, 4), "end!");

  auto udf = image::UdfVolume::Open(source);
  ASSERT_NE(udf, nullptr);
  auto udfFile = udf->OpenFile("/sources/install.wim");
  ASSERT_NE(udfFile, nullptr);
  auto udfAt = [&](std::uint64_t offset, char* out, std::size_t n) {
    for (std::size_t have = 0; have < n;) {
      const std::int64_t got = udfFile->ReadAt(offset + have, out + have, n - have);
      if (got <= 0) return;
      have += static_cast<std::size_t>(got);
    }
  };
  EXPECT_EQ(mark(udfAt, 0, 11), "MSWIM start");
  EXPECT_EQ(mark(udfAt, kFirstExtent - 6, 12), "before|after");
  EXPECT_EQ(mark(udfAt, kSize - 4, 4), "end!");

  // Through the drive: the size the copy steps see.
  Machine machine;
  ScopedMachine scoped(machine);
  ASSERT_EQ(AddImageDrive(iso.string(), error), L'D') << error;
  std::uint64_t size = 0;
  ASSERT_TRUE(GetFileSize(L"D:\\sources\\install.wim", size));
  EXPECT_EQ(size, kSize);
}
