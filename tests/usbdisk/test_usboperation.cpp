// The USB step on a virtual stick: its states, the label fitted from the
// source's, and the refusal of a source FAT32 cannot hold before anything is
// formatted.

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "pipeline/opmessages.h"
#include "pipeline/usboperation.h"
#include "platform/disks/volumemount.h"
#include "platform/text.h"
#include "usbkit.h"

namespace {

using kxtest::VirtualDisk;
using kxtest::VolumeSpec;

class PostedStates final : public platform::Window {
 public:
  bool Post(platform::UINT message, platform::WPARAM w, platform::LPARAM l) override {
    std::lock_guard lock(mutex_);
    if (message == WM_OPSTATE) states.emplace_back(static_cast<int>(w), static_cast<int>(l));
    return true;
  }
  platform::LRESULT Send(platform::UINT, platform::WPARAM, platform::LPARAM) override { return 0; }
  std::vector<std::pair<int, int>> states;

 private:
  std::mutex mutex_;
};

std::string SourceDrive(const std::string& label) {
  return "\n[drive D]\nfolder = dvd\ntype = cdrom\nlabel = " + label + "\n";
}

struct LabelCase {
  const char* name;
  std::string sourceLabel;
  std::string volumeLabel;
};

class USBStep : public ::testing::TestWithParam<LabelCase> {};

TEST_P(USBStep, FormatsPostsItsStatesAndLabelsTheStick) {
  kxusb::UsbMachine m({VirtualDisk{1, 100, "usb", true, "label: dos\\nstart=2048,type=c\\n"}},
                      {VolumeSpec{'E', 1, 1, "removable"}}, SourceDrive(GetParam().sourceLabel));
  std::filesystem::create_directories(m.disks().dir().path() / "dvd/sources");
  kxusb::ScriptedBoxes boxes;
  PostedStates window;
  {
    USBOperation op(&window, L"E:\\", platform::WideFromAnsi(GetParam().sourceLabel), L"D:\\");
    ASSERT_EQ(op.Excute(), 1) << m.Log();
    EXPECT_EQ(op.State(), 1);
  }
  EXPECT_EQ(window.states, (std::vector<std::pair<int, int>>{{0, 10}, {0, 70}, {1, 100}}));
  std::string log = m.Log();
  for (const char* line : {"USBOperation::create", "USBOperation::Excute - FORMATUSB",
                           "[CUSBManager::Excute : m_USBPath:] E:\\", "USBOperation::Excute - SetVolumeLabelName",
                           "USBOperation::Excute - FORMATUSBOK", "USBOperation::Release"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
  // The label reaches the volume itself when the stick is released.
  EXPECT_TRUE(platform::disks::ReleaseVolumes());
  std::string label = kxtest::ShellOutput("mlabel -s -i " + m.disks().Image(1).string() + "@@1048576 ::");
  EXPECT_NE(label.find("Volume label is " + GetParam().volumeLabel), std::string::npos) << label;
}

INSTANTIATE_TEST_SUITE_P(Labels, USBStep,
                         ::testing::Values(LabelCase{"LongLabelIsCut", "ABCDEFGHIJ_EN_DVD", "ABCDEFGHI~1"},
                                           LabelCase{"ElevenCharactersStay", "GRMCULFRERE", "GRMCULFRERE"},
                                           LabelCase{"NoLabelIsNoname", "", "NONAME"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(USBStepRefusal, AFileTooLargeForFat32IsRefusedBeforeTheStickIsTouched) {
  kxusb::UsbMachine m({VirtualDisk{1, 100, "usb", true, "label: dos\\nstart=2048,type=c\\n"}},
                      {VolumeSpec{'E', 1, 1, "removable"}}, SourceDrive("DVD"));
  auto wim = m.disks().dir().path() / "dvd/sources/install.wim";
  std::filesystem::create_directories(wim.parent_path());
  { std::ofstream(wim, std::ios::binary); }
  std::filesystem::resize_file(wim, platform::disks::Fat32FileLimit());  // sparse
  std::string before = kxtest::ReadHostFile(m.disks().Image(1));
  kxusb::ScriptedBoxes boxes;
  PostedStates window;
  {
    USBOperation op(&window, L"E:\\", L"DVD", L"D:\\");
    EXPECT_EQ(op.Excute(), 0);
  }
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_NE(boxes.shown[0].text.find(L"D:\\sources\\install.wim"), std::wstring::npos);
  EXPECT_NE(m.Log().find("[USBOperation::Excute - FAT32] file too large: D:\\sources\\install.wim"), std::string::npos);
  EXPECT_EQ(window.states, (std::vector<std::pair<int, int>>{{0, 10}}));
  EXPECT_TRUE(kxtest::ReadHostFile(m.disks().Image(1)) == before) << "nothing was formatted";
  // One byte less fits.
  std::filesystem::resize_file(wim, platform::disks::Fat32FileLimit() - 1);
  EXPECT_EQ(FindFileTooLargeForFat32(L"D:\\"), L"");
}

}  // namespace
