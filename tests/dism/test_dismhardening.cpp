// The servicing interface under damage and bad luck: damaged WIM headers, a
// disk that fills up during a commit, and mount paths with any character.

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <functional>

#include "dismapifixture.h"

using namespace kxdism;

namespace {

// Writes a little-endian value into a file at an offset.
void Poke(const fs::path& file, std::uint64_t offset, std::uint64_t value, int bytes) {
  std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(offset));
  for (int i = 0; i < bytes; ++i) f.put(static_cast<char>(value >> (8 * i)));
}

struct HeaderDamage {
  const char* label;
  std::uint64_t field;  // offset of the resource header in the WIM header
  std::uint64_t offset;
  std::uint64_t size;
};

class DismApiDamagedHeader : public DismApiTest, public testing::WithParamInterface<HeaderDamage> {};

}  // namespace

TEST_P(DismApiDamagedHeader, IsRefusedAtOpenWithoutTouchingTheFile) {
  MakeBootWim();
  const fs::path wim = Host("work/boot.wim");
  const auto size = fs::file_size(wim);
  const HeaderDamage& d = GetParam();
  Poke(wim, d.field, d.size, 7);
  Poke(wim, d.field + 8, d.offset == 0 ? size + 1 : d.offset, 8);
  const auto damaged = fs::file_size(wim);

  DismImageInfo* info = nullptr;
  UINT count = 0;
  EXPECT_EQ(DismGetImageInfo(L"C:\\work\\boot.wim", &info, &count), HResultFromWin32(ERROR_FILE_CORRUPT));
  EXPECT_NE(LastError().find(L"beyond the end of the file"), std::wstring::npos);
  EXPECT_EQ(Mount(2, "m"), HResultFromWin32(ERROR_FILE_CORRUPT));
  EXPECT_NE(LastError().find(L"C:\\work\\boot.wim"), std::wstring::npos);
  EXPECT_EQ(fs::file_size(wim), damaged);
  EXPECT_TRUE(fs::is_empty(Host("mnt/m")));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DismApiDamagedHeader,
    testing::Values(HeaderDamage{"IntegrityTableFarBeyondTheEnd", 124, 500ull << 30, 4096},
                    HeaderDamage{"IntegrityTableOverlappingTheEnd", 124, 0, 4096},
                    HeaderDamage{"XmlDataBeyondTheEnd", 72, 1ull << 40, 100},
                    HeaderDamage{"BlobTableInsideTheHeader", 48, 16, 100}),
    [](const testing::TestParamInfo<HeaderDamage>& info) { return std::string(info.param.label); });

TEST_F(DismApiTest, MountPathsWithAnyCharacterRoundTripThroughTheRecord) {
  MakeBootWim();
  const std::vector<std::string> names = {"tab\there", "new\nline", "per%25cent 20", "caf\xc3\xa9 \xe2\x82\xac", "quote\"and'apos"};
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    fs::create_directories(Host("mnt/" + name));
    const std::wstring path = L"C:\\mnt\\" + WideFromAnsi(name);
    ASSERT_EQ(DismMountImage(L"C:\\work\\boot.wim", path.c_str(), i % 2 + 1, nullptr, DismImageIndex,
                             DISM_MOUNT_READONLY, nullptr, nullptr, nullptr),
              S_OK)
        << name << Narrow(LastError());
  }
  DismMountedImageInfo* mounted = nullptr;
  UINT count = 0;
  ASSERT_EQ(DismGetMountedImageInfo(&mounted, &count), S_OK);
  ASSERT_EQ(count, names.size());
  for (UINT i = 0; i < count; ++i) {
    EXPECT_EQ(std::wstring(mounted[i].MountPath), L"C:\\mnt\\" + WideFromAnsi(names[i]));
    EXPECT_EQ(mounted[i].MountStatus, DismMountStatusOk);
  }
  DismDelete(mounted);
  for (const auto& name : names)
    EXPECT_EQ(DismUnmountImage((L"C:\\mnt\\" + WideFromAnsi(name)).c_str(), DISM_DISCARD_IMAGE, nullptr, nullptr,
                               nullptr),
              S_OK)
        << name << Narrow(LastError());
  ASSERT_EQ(DismGetMountedImageInfo(&mounted, &count), S_OK);
  EXPECT_EQ(count, 0u);
  DismDelete(mounted);
}

namespace {

// Where the WIM may not grow: a small file system of its own (4 MiB of
// tmpfs) when the test may mount one, else a file-size limit on this
// process (4 MiB above the WIM) during the calls that must fail.
class SpaceShortage {
 public:
  explicit SpaceShortage(const fs::path& folder) : folder_(folder) {
    fs::create_directories(folder);
    mounted_ = ::geteuid() == 0 && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=4m") == 0;
  }
  ~SpaceShortage() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  SpaceShortage(const SpaceShortage&) = delete;
  SpaceShortage& operator=(const SpaceShortage&) = delete;

  // The result a commit gets when it does not fit.
  HRESULT Expected() const {
    return HResultFromWin32(mounted_ ? ERROR_DISK_FULL : ERROR_FILE_TOO_LARGE);
  }
  // Runs call with no room to grow the WIM.
  HRESULT Without(const std::function<HRESULT()>& call) {
    if (mounted_) return call();
    constexpr rlim_t kRoom = 4 << 20;
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = fs::file_size(folder_ / "boot.wim") + kRoom;
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limited);
    HRESULT hr = call();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    return hr;
  }

 private:
  fs::path folder_;
  bool mounted_ = false;
};

}  // namespace

TEST_F(DismApiTest, ACommitThatRanOutOfSpaceKeepsTheMountForASecondCommitOrAnUnmount) {
  const fs::path small = Host("small");
  SpaceShortage shortage(small);

  kxdism::BuildWim(small / "boot.wim", {{.name = "PE"}, {.name = "Setup"}});
  const std::string before = DetailedListing(small / "boot.wim", 2);
  fs::create_directories(Host("mnt/m"));
  ASSERT_EQ(DismMountImage(L"C:\\small\\boot.wim", L"C:\\mnt\\m", 2, nullptr, DismImageIndex, DISM_MOUNT_READWRITE,
                           nullptr, nullptr, nullptr),
            S_OK)
      << Narrow(LastError());
  DismSession session = Open("m");
  // Incompressible data larger than the space left.
  std::string noise(6 << 20, '\0');
  std::uint64_t x = 88172645463325252ull;
  for (auto& c : noise) x ^= x << 13, x ^= x >> 7, x ^= x << 17, c = static_cast<char>(x);
  fs::create_directories(Host("mnt/m/Windows/big"));
  std::ofstream(Host("mnt/m/Windows/big/noise.bin"), std::ios::binary) << noise;

  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(shortage.Without([&] { return DismCommitImage(session, 0, nullptr, nullptr, nullptr); }),
              shortage.Expected());
    std::wstring text = LastError();
    EXPECT_NE(text.find(L"commit again"), std::wstring::npos) << Narrow(text);
    EXPECT_EQ(text.find(L"gone or changed"), std::wstring::npos) << Narrow(text);
    EXPECT_EQ(DetailedListing(small / "boot.wim", 2), before);
  }
  // Space freed (the big file made small): the same mount commits.
  std::ofstream(Host("mnt/m/Windows/big/noise.bin"), std::ios::binary | std::ios::trunc) << "small now";
  ASSERT_EQ(DismCommitImage(session, 0, nullptr, nullptr, nullptr), S_OK) << Narrow(LastError());
  ASSERT_EQ(DismCloseSession(session), S_OK);
  ASSERT_EQ(DismUnmountImage(L"C:\\mnt\\m", DISM_COMMIT_IMAGE, nullptr, nullptr, nullptr), S_OK)
      << Narrow(LastError());
  EXPECT_NE(Listing(small / "boot.wim", 2).find("/Windows/big/noise.bin"), std::string::npos);
  int status = -1;
  kxdism::Run("wimlib-imagex verify '" + (small / "boot.wim").string() + "' >/dev/null 2>&1", &status);
  EXPECT_EQ(status, 0);

  // A second mount fills the disk again and is unmounted with discard.
  ASSERT_EQ(DismMountImage(L"C:\\small\\boot.wim", L"C:\\mnt\\m", 2, nullptr, DismImageIndex, DISM_MOUNT_READWRITE,
                           nullptr, nullptr, nullptr),
            S_OK);
  fs::create_directories(Host("mnt/m/Windows/big2"));
  std::ofstream(Host("mnt/m/Windows/big2/noise.bin"), std::ios::binary) << noise;
  EXPECT_EQ(shortage.Without([] { return DismUnmountImage(L"C:\\mnt\\m", DISM_COMMIT_IMAGE, nullptr, nullptr, nullptr); }),
            shortage.Expected());
  EXPECT_EQ(DismUnmountImage(L"C:\\mnt\\m", DISM_DISCARD_IMAGE, nullptr, nullptr, nullptr), S_OK)
      << Narrow(LastError());
  kxdism::Run("wimlib-imagex verify '" + (small / "boot.wim").string() + "' >/dev/null 2>&1", &status);
  EXPECT_EQ(status, 0);
}
