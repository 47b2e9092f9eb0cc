#pragma once
// The fixture of the servicing interface's tests: an initialised interface on
// a test machine, a sample boot.wim, mounts under C:\mnt and driver packages
// under C:\drv.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/dism/dismapi.h"
#include "platform/text.h"
#include "samplewim.h"
#include "testmachine.h"

namespace kxdism {

namespace fs = std::filesystem;
using namespace platform;


inline std::string Narrow(const std::wstring& w) { return AnsiFromWide(w); }

inline std::wstring LastError() {
  DismString* text = nullptr;
  if (DismGetLastErrorMessage(&text) != S_OK || !text) return L"";
  std::wstring value = text->Value;
  EXPECT_EQ(DismDelete(text), S_OK);
  return value;
}

struct ProgressLog {
  std::vector<std::pair<UINT, UINT>> calls;
  static void Callback(UINT current, UINT total, void* self) {
    static_cast<ProgressLog*>(self)->calls.emplace_back(current, total);
  }
};

class DismApiTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(DismInitialize(DismLogErrorsWarningsInfo, L"C:\\log.txt", nullptr), S_OK);
    fs::create_directories(Host("work"));
  }
  void TearDown() override { static_cast<void>(DismShutdown()); }  // a test may have shut down itself

  fs::path Host(const std::string& relative) const { return machine.Root('C') / relative; }
  void MakeBootWim() {
    kxdism::BuildWim(Host("work/boot.wim"), {{.name = "PE"}, {.name = "Setup", .oemInfs = 2}});
  }
  // Mounts image index of C:\work\boot.wim at C:\mnt\<name>.
  HRESULT Mount(UINT index, const std::string& name, DWORD flags = DISM_MOUNT_READWRITE) {
    fs::create_directories(Host("mnt/" + name));
    return DismMountImage(L"C:\\work\\boot.wim", (L"C:\\mnt\\" + WideFromAnsi(name)).c_str(), index, nullptr,
                          DismImageIndex, flags, nullptr, nullptr, nullptr);
  }
  DismSession Open(const std::string& name) {
    DismSession session = 0;
    EXPECT_EQ(DismOpenSession((L"C:\\mnt\\" + WideFromAnsi(name)).c_str(), nullptr, nullptr, &session), S_OK)
        << Narrow(LastError());
    return session;
  }
  std::wstring Driver(const std::string& name, kxdism::DriverSpec spec = {}) {
    spec.name = name;
    kxdism::WriteDriver(Host("drv/" + name), spec);
    return L"C:\\drv\\" + WideFromAnsi(name) + L"\\" + WideFromAnsi(name) + L".inf";
  }

  kxtest::TestMachine machine;
};


}  // namespace kxdism
