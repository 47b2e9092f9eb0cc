#include "platform/dism/dismapi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "dismapifixture.h"
#include "platform/fs/paths.h"
#include "platform/text.h"
#include "samplewim.h"
#include "testmachine.h"

namespace fs = std::filesystem;
using namespace platform;

using namespace kxdism;

TEST(DismApiLifecycle, CallsFailBeforeInitialisationAndASecondInitialisationFails) {
  kxtest::TestMachine machine;
  UINT count = 0;
  DismImageInfo* info = nullptr;
  EXPECT_EQ(DismGetImageInfo(L"C:\\x.wim", &info, &count), DISMAPI_E_DISMAPI_NOT_INITIALIZED);
  ASSERT_EQ(DismInitialize(DismLogErrors, nullptr, nullptr), S_OK);
  EXPECT_EQ(DismInitialize(DismLogErrors, nullptr, nullptr), HResultFromWin32(ERROR_ALREADY_INITIALIZED));
  EXPECT_EQ(DismShutdown(), S_OK);
  EXPECT_EQ(DismShutdown(), DISMAPI_E_DISMAPI_NOT_INITIALIZED);
}

TEST_F(DismApiTest, ImageInfoGivesTheImagesOfAWim) {
  MakeBootWim();
  DismImageInfo* info = nullptr;
  UINT count = 0;
  ASSERT_EQ(DismGetImageInfo(L"C:\\WORK\\Boot.wim", &info, &count), S_OK);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(std::wstring(info[1].ImageName), L"Setup");
  EXPECT_EQ(info[1].ImageIndex, 2u);
  EXPECT_EQ(info[0].Architecture, DismArchitectureAmd64);
  EXPECT_EQ(DismDelete(info), S_OK);
  EXPECT_EQ(DismDelete(info), E_INVALIDARG);
  DismString* none = nullptr;
  EXPECT_EQ(DismGetLastErrorMessage(&none), S_FALSE);
  EXPECT_EQ(none, nullptr);
}

TEST_F(DismApiTest, ImageInfoFailsWithACodeAndATextForMissingForeignAndDamagedFiles) {
  DismImageInfo* info = nullptr;
  UINT count = 7;
  EXPECT_EQ(DismGetImageInfo(L"C:\\work\\none.wim", &info, &count), HResultFromWin32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(count, 0u);
  EXPECT_NE(LastError().find(L"C:\\work\\none.wim"), std::wstring::npos);

  std::ofstream(Host("work/text.wim")) << "this is no image file at all, just text that is long enough";
  EXPECT_EQ(DismGetImageInfo(L"C:\\work\\text.wim", &info, &count), HResultFromWin32(ERROR_BAD_FORMAT));
  std::wstring text = LastError();
  EXPECT_NE(text.find(L"identify a WIM file"), std::wstring::npos) << Narrow(text);

  MakeBootWim();
  fs::resize_file(Host("work/boot.wim"), 300);
  HRESULT hr = DismGetImageInfo(L"C:\\work\\boot.wim", &info, &count);
  EXPECT_TRUE(Failed(hr));
  EXPECT_FALSE(LastError().empty());
}

TEST_F(DismApiTest, MountChecksTheFolderAndTheIndexAndRecordsTheMount) {
  MakeBootWim();
  fs::create_directories(Host("mnt/busy/x"));
  EXPECT_EQ(Mount(2, "busy"), HResultFromWin32(ERROR_DIR_NOT_EMPTY));
  EXPECT_EQ(DismMountImage(L"C:\\work\\boot.wim", L"C:\\nowhere", 1, nullptr, DismImageIndex, 0, nullptr, nullptr,
                           nullptr),
            HResultFromWin32(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Mount(3, "a"), DISMAPI_E_INVALID_IMAGE_INDEX);
  EXPECT_NE(LastError().find(L"holds 2"), std::wstring::npos);

  ProgressLog progress;
  fs::create_directories(Host("mnt/a"));
  ASSERT_EQ(DismMountImage(L"C:\\work\\boot.wim", L"C:\\mnt\\a", 0, L"setup", DismImageName, 0, nullptr,
                           &ProgressLog::Callback, &progress),
            S_OK);
  EXPECT_TRUE(fs::is_directory(Host("mnt/a/Windows")));
  ASSERT_FALSE(progress.calls.empty());
  EXPECT_EQ(progress.calls.back(), std::make_pair(100u, 100u));
  // The same image cannot be mounted for writing twice.
  EXPECT_EQ(Mount(2, "b"), DISMAPI_E_IMAGE_ALREADY_MOUNTED);

  DismMountedImageInfo* mounted = nullptr;
  UINT count = 0;
  ASSERT_EQ(DismGetMountedImageInfo(&mounted, &count), S_OK);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(std::wstring(mounted[0].MountPath), L"C:\\mnt\\a");
  EXPECT_EQ(mounted[0].ImageIndex, 2u);
  EXPECT_EQ(mounted[0].MountMode, DismReadWrite);
  EXPECT_EQ(mounted[0].MountStatus, DismMountStatusOk);
  DismDelete(mounted);
}

TEST_F(DismApiTest, AMountWhoseFolderOrImageChangedIsInvalidAndCleanupForgetsIt) {
  MakeBootWim();
  ASSERT_EQ(Mount(1, "gone"), S_OK);
  // A mount folder of the data folder's, named as the program names them.
  fs::create_directories(Host("ProgramData/Ovanta/Kestrunex/90503"));
  ASSERT_EQ(DismMountImage(L"C:\\work\\boot.wim", L"C:\\ProgramData\\Ovanta\\Kestrunex\\90503", 2, nullptr,
                           DismImageIndex, DISM_MOUNT_READWRITE, nullptr, nullptr, nullptr),
            S_OK);
  std::ofstream(Host("ProgramData/Ovanta/Kestrunex/90503/Windows/staged.txt")) << "x";
  fs::remove_all(Host("mnt/gone"));
  DismMountedImageInfo* mounted = nullptr;
  UINT count = 0;
  ASSERT_EQ(DismGetMountedImageInfo(&mounted, &count), S_OK);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(mounted[0].MountStatus, DismMountStatusInvalid);
  EXPECT_EQ(mounted[1].MountStatus, DismMountStatusOk);
  DismDelete(mounted);
  // A new, empty folder under the vanished mount's name: not the mount's.
  fs::create_directories(Host("mnt/gone"));

  // Someone else rewrites the WIM: the remaining mount is no longer valid.
  std::ofstream(Host("work/boot.wim"), std::ios::app) << "appended";
  ASSERT_EQ(DismCleanupMountpoints(), S_OK);
  ASSERT_EQ(DismGetMountedImageInfo(&mounted, &count), S_OK);
  EXPECT_EQ(count, 0u);
  DismDelete(mounted);
  // The mount's folder was emptied and removed; the unrelated empty one stays.
  EXPECT_FALSE(fs::exists(Host("ProgramData/Ovanta/Kestrunex/90503")));
  EXPECT_TRUE(fs::is_directory(Host("mnt/gone")));
}

// A record names folders; clean-up empties only the data folder's own mount
// folders, whatever else a damaged or planted record names.
TEST_F(DismApiTest, CleanupLeavesFoldersAloneThatAreNotMountFoldersOfTheDataFolder) {
  MakeBootWim();
  fs::create_directories(Host("ProgramData/Ovanta/Kestrunex"));
  fs::create_directories(Host("elsewhere/123"));
  fs::create_directory_symlink(Host("elsewhere"), Host("ProgramData/Ovanta/Kestrunex/link"));
  const struct {
    const char* folder;   // mounted, then invalidated
    const char* staged;   // host path of a file inside it
  } cases[] = {
      {"C:\\mnt\\123", "mnt/123/Windows/staged.txt"},                                   // outside the data folder
      {"C:\\ProgramData\\Ovanta\\Kestrunex\\work", "ProgramData/Ovanta/Kestrunex/work/Windows/staged.txt"},  // not a mount name
      {"C:\\ProgramData\\Ovanta\\Kestrunex\\link\\123", "elsewhere/123/Windows/staged.txt"},  // through a link
  };
  UINT index = 1;
  for (const auto& c : cases) {
    std::string host;
    ASSERT_TRUE(ResolvePath(WideFromAnsi(c.folder), host)) << c.folder;
    fs::create_directories(host);
    ASSERT_EQ(DismMountImage(L"C:\\work\\boot.wim", WideFromAnsi(c.folder).c_str(), index, nullptr, DismImageIndex,
                             DISM_MOUNT_READONLY, nullptr, nullptr, nullptr),
              S_OK)
        << c.folder;
    std::ofstream(Host(c.staged)) << "x";
    index = index % 2 + 1;
  }
  std::ofstream(Host("work/boot.wim"), std::ios::app) << "appended";
  ASSERT_EQ(DismCleanupMountpoints(), S_OK);
  DismMountedImageInfo* mounted = nullptr;
  UINT count = 7;
  ASSERT_EQ(DismGetMountedImageInfo(&mounted, &count), S_OK);
  EXPECT_EQ(count, 0u);  // forgotten ...
  DismDelete(mounted);
  for (const auto& c : cases) EXPECT_TRUE(fs::exists(Host(c.staged))) << c.folder;  // ... but not emptied
}

TEST_F(DismApiTest, AddDriverStagesThePackageAndCommitWritesItIntoThatImageOnly) {
  MakeBootWim();
  const std::string before1 = kxdism::DetailedListing(Host("work/boot.wim"), 1);
  ASSERT_EQ(Mount(2, "m"), S_OK);
  DismSession session = Open("m");
  ASSERT_EQ(DismAddDriver(session, Driver("usbx").c_str(), 1), S_OK) << Narrow(LastError());
  ASSERT_EQ(DismAddDriver(session, Driver("hubx").c_str(), 1), S_OK) << Narrow(LastError());
  // The same package again is already there: no new published name.
  ASSERT_EQ(DismAddDriver(session, Driver("usbx").c_str(), 1), S_OK);
  EXPECT_TRUE(fs::exists(Host("mnt/m/Windows/INF/oem2.inf")));
  EXPECT_TRUE(fs::exists(Host("mnt/m/Windows/INF/oem3.inf")));
  EXPECT_FALSE(fs::exists(Host("mnt/m/Windows/INF/oem4.inf")));

  ProgressLog progress;
  ASSERT_EQ(DismCommitImage(session, 0, nullptr, &ProgressLog::Callback, &progress), S_OK) << Narrow(LastError());
  ASSERT_FALSE(progress.calls.empty());
  EXPECT_EQ(progress.calls.back(), std::make_pair(100u, 100u));
  ASSERT_EQ(DismCloseSession(session), S_OK);
  EXPECT_EQ(DismCloseSession(session), DISMAPI_E_INVALID_DISM_SESSION);
  const auto sizeAfterCommit = fs::file_size(Host("work/boot.wim"));
  ASSERT_EQ(DismUnmountImage(L"C:\\mnt\\m", DISM_COMMIT_IMAGE, nullptr, nullptr, nullptr), S_OK);
  // Nothing new since the commit: the unmount did not write again.
  EXPECT_EQ(fs::file_size(Host("work/boot.wim")), sizeAfterCommit);
  EXPECT_TRUE(fs::is_empty(Host("mnt/m")));

  const std::string listing = kxdism::Listing(Host("work/boot.wim"), 2);
  EXPECT_NE(listing.find("/Windows/INF/oem2.inf"), std::string::npos) << listing;
  EXPECT_NE(listing.find("/Windows/INF/oem3.inf"), std::string::npos);
  EXPECT_NE(listing.find("/Windows/System32/DriverStore/FileRepository/usbx.inf_amd64_neutral_"), std::string::npos);
  EXPECT_NE(listing.find("/hubx.sys"), std::string::npos);
  EXPECT_EQ(kxdism::DetailedListing(Host("work/boot.wim"), 1), before1);
  int status = -1;
  kxdism::Run("wimlib-imagex verify '" + Host("work/boot.wim").string() + "' >/dev/null 2>&1", &status);
  EXPECT_EQ(status, 0);
}

TEST_F(DismApiTest, ASessionStaysUsableAfterACommitAndCommitsAgain) {
  MakeBootWim();
  ASSERT_EQ(Mount(2, "m"), S_OK);
  DismSession session = Open("m");
  ASSERT_EQ(DismAddDriver(session, Driver("usbx").c_str(), 1), S_OK) << Narrow(LastError());
  ASSERT_EQ(DismCommitImage(session, 0, nullptr, nullptr, nullptr), S_OK) << Narrow(LastError());
  ASSERT_EQ(DismAddDriver(session, Driver("hubx").c_str(), 1), S_OK) << Narrow(LastError());
  ASSERT_EQ(DismCommitImage(session, 0, nullptr, nullptr, nullptr), S_OK) << Narrow(LastError());
  ASSERT_EQ(DismCloseSession(session), S_OK);
  ASSERT_EQ(DismUnmountImage(L"C:\\mnt\\m", DISM_COMMIT_IMAGE, nullptr, nullptr, nullptr), S_OK)
      << Narrow(LastError());

  const std::string listing = kxdism::Listing(Host("work/boot.wim"), 2);
  EXPECT_NE(listing.find("/Windows/INF/oem2.inf"), std::string::npos) << listing;
  EXPECT_NE(listing.find("/Windows/INF/oem3.inf"), std::string::npos);
  EXPECT_NE(listing.find("/hubx.sys"), std::string::npos);
  int status = -1;
  kxdism::Run("wimlib-imagex verify '" + Host("work/boot.wim").string() + "' >/dev/null 2>&1", &status);
  EXPECT_EQ(status, 0);
}

TEST_F(DismApiTest, SessionsOnTwoImagesOfOneWimSurviveEachOthersCommitsAndUnmounts) {
  MakeBootWim();
  ASSERT_EQ(Mount(1, "a"), S_OK);
  ASSERT_EQ(Mount(2, "b"), S_OK);
  DismSession a = Open("a");
  DismSession b = Open("b");
  ASSERT_EQ(DismAddDriver(a, Driver("usbx").c_str(), 1), S_OK) << Narrow(LastError());
  ASSERT_EQ(DismCommitImage(a, 0, nullptr, nullptr, nullptr), S_OK) << Narrow(LastError());
  // b was opened before a's commit rewrote the WIM.
  ASSERT_EQ(DismAddDriver(b, Driver("hubx").c_str(), 1), S_OK) << Narrow(LastError());
  ASSERT_EQ(DismCommitImage(b, 0, nullptr, nullptr, nullptr), S_OK) << Narrow(LastError());
  // An unmount that saves changes rewrites the WIM as well.
  ASSERT_EQ(DismAddDriver(a, Driver("xhcx").c_str(), 1), S_OK) << Narrow(LastError());
  ASSERT_EQ(DismUnmountImage(L"C:\\mnt\\a", DISM_COMMIT_IMAGE, nullptr, nullptr, nullptr), S_OK)
      << Narrow(LastError());
  ASSERT_EQ(DismAddDriver(b, Driver("extx").c_str(), 1), S_OK) << Narrow(LastError());
  ASSERT_EQ(DismCommitImage(b, 0, nullptr, nullptr, nullptr), S_OK) << Narrow(LastError());
  ASSERT_EQ(DismCloseSession(b), S_OK);
  ASSERT_EQ(DismUnmountImage(L"C:\\mnt\\b", DISM_COMMIT_IMAGE, nullptr, nullptr, nullptr), S_OK)
      << Narrow(LastError());

  const std::string one = kxdism::Listing(Host("work/boot.wim"), 1);
  const std::string two = kxdism::Listing(Host("work/boot.wim"), 2);
  EXPECT_NE(one.find("/usbx.sys"), std::string::npos) << one;
  EXPECT_NE(one.find("/xhcx.sys"), std::string::npos) << one;
  EXPECT_EQ(one.find("/hubx.sys"), std::string::npos) << one;
  EXPECT_NE(two.find("/hubx.sys"), std::string::npos) << two;
  EXPECT_NE(two.find("/extx.sys"), std::string::npos) << two;
  EXPECT_EQ(two.find("/usbx.sys"), std::string::npos) << two;
  int status = -1;
  kxdism::Run("wimlib-imagex verify '" + Host("work/boot.wim").string() + "' >/dev/null 2>&1", &status);
  EXPECT_EQ(status, 0);
}

TEST_F(DismApiTest, AddDriverRefusesReadOnlyMountsAndBrokenPackagesWithAMessage) {
  MakeBootWim();
  ASSERT_EQ(Mount(1, "ro", DISM_MOUNT_READONLY), S_OK);
  DismSession ro = Open("ro");
  EXPECT_EQ(DismAddDriver(ro, Driver("usbx").c_str(), 1), HResultFromWin32(ERROR_ACCESS_DENIED));
  EXPECT_EQ(DismCommitImage(ro, 0, nullptr, nullptr, nullptr), HResultFromWin32(ERROR_ACCESS_DENIED));

  ASSERT_EQ(Mount(2, "rw"), S_OK);
  DismSession rw = Open("rw");
  const std::wstring bad = Driver("bad", {.writeSys = false});
  EXPECT_EQ(DismAddDriver(rw, bad.c_str(), 1), HResultFromWin32(ERROR_FILE_NOT_FOUND));
  std::wstring text = LastError();
  EXPECT_NE(text.find(bad), std::wstring::npos);
  EXPECT_NE(text.find(L"bad.sys"), std::wstring::npos);
  EXPECT_EQ(DismAddDriver(rw, Driver("old", {.decorations = "NTx86"}).c_str(), 1), SPAPI_E_NO_COMPATIBLE_MODELS);
  EXPECT_FALSE(fs::exists(Host("mnt/rw/Windows/INF")));
  EXPECT_EQ(DismAddDriver(999, bad.c_str(), 1), DISMAPI_E_INVALID_DISM_SESSION);
}

TEST_F(DismApiTest, TheArchitectureComesFromTheKernelWhenTheWimDoesNotSayIt) {
  kxdism::BuildWim(Host("work/boot.wim"), {{.name = "x86 PE", .arch = "x86", .archInDescription = false}});
  ASSERT_EQ(Mount(1, "m"), S_OK);
  DismSession session = Open("m");
  EXPECT_EQ(DismAddDriver(session, Driver("amd", {.decorations = "NTamd64"}).c_str(), 1), SPAPI_E_NO_COMPATIBLE_MODELS);
  ASSERT_EQ(DismAddDriver(session, Driver("i386", {.decorations = "NTx86"}).c_str(), 1), S_OK) << Narrow(LastError());
  EXPECT_EQ(fs::begin(fs::directory_iterator(Host("mnt/m/Windows/System32/DriverStore/FileRepository")))
                ->path()
                .filename()
                .string()
                .rfind("i386.inf_x86_neutral_", 0),
            0u);
}

TEST_F(DismApiTest, UnmountWithDiscardLeavesTheWimAsItWasAndUnknownFoldersFail) {
  MakeBootWim();
  const std::string bytes = kxtest::ReadHostFile(Host("work/boot.wim"));
  ASSERT_EQ(Mount(2, "m"), S_OK);
  DismSession session = Open("m");
  ASSERT_EQ(DismAddDriver(session, Driver("usbx").c_str(), 1), S_OK);
  ASSERT_EQ(DismUnmountImage(L"C:\\mnt\\m", DISM_DISCARD_IMAGE, nullptr, nullptr, nullptr), S_OK);
  EXPECT_TRUE(fs::is_empty(Host("mnt/m")));
  EXPECT_EQ(kxtest::ReadHostFile(Host("work/boot.wim")), bytes);
  // The unmount closed the session with the mount.
  EXPECT_EQ(DismAddDriver(session, Driver("usbx").c_str(), 1), DISMAPI_E_INVALID_DISM_SESSION);
  EXPECT_EQ(DismUnmountImage(L"C:\\mnt\\m", DISM_DISCARD_IMAGE, nullptr, nullptr, nullptr),
            DISMAPI_E_UNABLE_TO_UNMOUNT_IMAGE_PATH);
}

TEST_F(DismApiTest, TheLogHasOneLinePerCallAtTheLevelAsked) {
  MakeBootWim();
  DismImageInfo* info = nullptr;
  UINT count = 0;
  ASSERT_EQ(DismGetImageInfo(L"C:\\work\\boot.wim", &info, &count), S_OK);
  DismDelete(info);
  EXPECT_NE(DismGetImageInfo(L"C:\\work\\none.wim", &info, &count), S_OK);
  std::string log = kxtest::ReadHostFile(Host("log.txt"));
  EXPECT_NE(log.find("Info    DISM   DismGetImageInfo: 'C:\\work\\boot.wim' holds 2 images\r\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find("Error   DISM   DismGetImageInfo failed 0x80070002: "), std::string::npos) << log;

  EXPECT_EQ(DismShutdown(), S_OK);
  ASSERT_EQ(DismInitialize(DismLogErrors, L"C:\\errors.txt", nullptr), S_OK);
  ASSERT_EQ(DismGetImageInfo(L"C:\\work\\boot.wim", &info, &count), S_OK);
  DismDelete(info);
  EXPECT_NE(DismGetImageInfo(L"C:\\work\\none.wim", &info, &count), S_OK);
  std::string errors = kxtest::ReadHostFile(Host("errors.txt"));
  EXPECT_EQ(errors.find("Info    DISM"), std::string::npos) << errors;
  EXPECT_NE(errors.find("Error"), std::string::npos);
}
