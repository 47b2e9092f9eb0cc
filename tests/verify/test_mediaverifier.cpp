// The verification pass on products made by peers: xorriso writes the ISO
// images (and reports where each file's data lies), wimlib-imagex the WIMs.
// A product stored on a medium that drops writes beyond an offset must fail
// naming the first file that lost data; a good product must pass.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "droppingdisk.h"
#include "verify/folderproduct.h"
#include "verify/isoproduct.h"
#include "verify/mediaverifier.h"
#include "pipeline/steplists.h"
#include "pipeline/steptable.h"
#include "verify/verifyplan.h"

namespace fs = std::filesystem;
using namespace verify;

namespace {

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  EXPECT_EQ(pclose(pipe), 0) << command;
  return out;
}

// Content without zero bytes, so the first lost byte is the first that differs.
void WriteFile(const fs::path& path, size_t size, unsigned seed, const std::string& marker = "") {
  fs::create_directories(path.parent_path());
  std::mt19937 random(seed);
  std::string data(size, '\0');
  for (char& c : data) c = static_cast<char>(random() % 255 + 1);
  data.replace(0, std::min(marker.size(), size), marker.substr(0, size));
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

void FlipByteAfter(const fs::path& file, const std::string& marker) {
  std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(f)), {});
  const size_t at = data.find(marker);
  ASSERT_NE(at, std::string::npos);
  f.seekp(static_cast<std::streamoff>(at + marker.size() + 10));
  f.put(static_cast<char>(data[at + marker.size() + 10] ^ 0x5a));
}

const std::vector<int> kStickSteps = {kStepFormatStick, kStepCopySourceToTarget, kStepBootWimOnTarget};

struct LaidOutFile {
  std::string path;  // relative, as the plan folds it
  std::uint64_t start = 0, bytes = 0;
};

class MediaVerifier : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kx-verify-XXXXXX";
    dir_ = mkdtemp(pattern);
    source_ = dir_ / "dvd";
    WriteFile(source_ / "bootmgr", 9000, 1);
    WriteFile(source_ / "boot/etfsboot.com", 2048, 2);
    WriteFile(source_ / "efi/microsoft/boot/efisys.bin", 65536, 3);
    for (unsigned i = 0; i < 12; ++i)
      WriteFile(source_ / (i % 2 ? "Sources" : "Setup") / ("Part" + std::to_string(i) + ".bin"),
                100000 + i * 37000, 10 + i);
    WriteFile(dir_ / "wimtree/Windows/System32/drivers/usbxhci.sys", 300000, 4, "WIMDATAMARK");
    Shell("wimlib-imagex capture '" + (dir_ / "wimtree").string() + "' '" + (source_ / "Sources/boot.wim").string() +
        "' PE --compress=none >/dev/null");
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path MakeIso(const fs::path& tree, const std::string& name, bool boot = true) {
    const fs::path iso = dir_ / name;
    std::string options = "-quiet -iso-level 3 -J -joliet-long -V TEST ";
    if (boot)
      options += "-b boot/etfsboot.com -no-emul-boot -boot-load-size 4 -eltorito-alt-boot "
                 "-e efi/microsoft/boot/efisys.bin -no-emul-boot ";
    Shell("xorriso -as mkisofs " + options + "-o '" + iso.string() + "' '" + tree.string() + "' 2>/dev/null");
    return iso;
  }

  // The plan of an ISO run over source_: boot.wim serviced, the work folder's
  // copy the reference.
  VerifyPlan IsoPlan(const fs::path& work) {
    RunShape run;
    run.steps = {kStepCopySourceToWork, kStepBootWimInWork, kStepMakeIso};
    run.source = source_.string();
    run.work = work.string();
    VerifyPlan plan;
    std::string error;
    EXPECT_TRUE(PlanForRun(run, plan, error)) << error;
    return plan;
  }

  // Where xorriso put each file's data in an image.
  std::vector<LaidOutFile> Layout(const fs::path& iso) {
    std::istringstream report(
        Shell("xorriso -indev '" + iso.string() + "' -find / -type f -exec report_lba -- 2>/dev/null"));
    std::vector<LaidOutFile> files;
    for (std::string line; std::getline(report, line);) {
      if (line.rfind("File data lba:", 0) != 0) continue;
      unsigned long long extent, lba, blocks, size;
      char path[1024];
      if (std::sscanf(line.c_str(), "File data lba: %llu , %llu , %llu , %llu , '%1023[^']'", &extent, &lba, &blocks,
                      &size, path) == 5)
        files.push_back({FoldPath(std::string(path).substr(1)), lba * 2048, size});
    }
    return files;
  }

  fs::path dir_, source_;
};

TEST_F(MediaVerifier, GoodIsoReadsBackAndPasses) {
  const fs::path iso = MakeIso(source_, "good.iso");
  IsoProduct product;
  std::string error;
  ASSERT_TRUE(product.Open(iso.string(), error)) << error;
  EXPECT_EQ(product.BootEntries(), 2);
  const VerifyPlan plan = IsoPlan(source_);
  const VerifyReport report = VerifyProduct(plan, product, {}, product.BootEntries());
  EXPECT_EQ(report.result, VerifyResult::Ok) << report.file << " " << report.detail;
  EXPECT_EQ(report.filesChecked, plan.files.size() + 1);  // and the serviced WIM
}

TEST_F(MediaVerifier, IsoOnAMediumThatDropsWritesFailsAtTheFirstLostFile) {
  const fs::path iso = MakeIso(source_, "good.iso");
  std::vector<LaidOutFile> layout = Layout(iso);
  ASSERT_GT(layout.size(), 10u);
  std::sort(layout.begin(), layout.end(), [](auto& a, auto& b) { return a.start < b.start; });
  // The medium keeps everything up to the middle of a file in the middle of
  // the image's data.
  const LaidOutFile& cut = layout[layout.size() / 2];
  const std::uint64_t kept = cut.start + cut.bytes / 2 + 123;
  std::string expected;
  for (const LaidOutFile& f : layout)
    if (f.start + f.bytes > kept && (expected.empty() || f.path < expected)) expected = f.path;

  const fs::path counterfeit = dir_ / "counterfeit.img";
  ASSERT_TRUE(DroppingDisk(counterfeit.string(), kept).WriteFileImage(iso.string()));
  ASSERT_EQ(fs::file_size(counterfeit), fs::file_size(iso));  // it claims to hold it all

  IsoProduct product;
  std::string error;
  ASSERT_TRUE(product.Open(counterfeit.string(), error)) << error;
  const VerifyReport report = VerifyProduct(IsoPlan(source_), product, {}, product.BootEntries());
  EXPECT_EQ(report.result, VerifyResult::FileDiffers);
  EXPECT_EQ(FoldPath(report.file), expected);
  const auto lost = std::find_if(layout.begin(), layout.end(), [&](auto& f) { return f.path == expected; });
  ASSERT_NE(lost, layout.end());
  EXPECT_EQ(report.offset, lost->start >= kept ? 0 : kept - lost->start);
}

TEST_F(MediaVerifier, IsoWithoutFileSystemOrBootEntriesFails) {
  const fs::path blank = dir_ / "blank.iso";
  ASSERT_TRUE(DroppingDisk(blank.string(), 0).WriteFileImage(MakeIso(source_, "good.iso").string()));
  IsoProduct unreadable;
  std::string error;
  EXPECT_FALSE(unreadable.Open(blank.string(), error));
  EXPECT_FALSE(error.empty());

  IsoProduct unbootable;
  ASSERT_TRUE(unbootable.Open(MakeIso(source_, "noboot.iso", false).string(), error)) << error;
  const VerifyReport report = VerifyProduct(IsoPlan(source_), unbootable, {}, unbootable.BootEntries());
  EXPECT_EQ(report.result, VerifyResult::BootFileMissing);
}

TEST_F(MediaVerifier, DamagedServicedWimFailsInTheIsoAndOnTheStick) {
  // ISO: the work folder's WIM went into the image damaged.
  const fs::path work = dir_ / "work";
  fs::copy(source_, work, fs::copy_options::recursive);
  FlipByteAfter(work / "Sources/boot.wim", "WIMDATAMARK");
  IsoProduct iso;
  std::string error;
  ASSERT_TRUE(iso.Open(MakeIso(work, "work.iso").string(), error)) << error;
  VerifyReport report = VerifyProduct(IsoPlan(work), iso, {}, iso.BootEntries());
  EXPECT_EQ(report.result, VerifyResult::WimDamaged);
  EXPECT_EQ(report.file, "Sources/boot.wim");
  EXPECT_FALSE(report.detail.empty());

  // Stick: serviced in place, verified where it lies.
  RunShape run;
  run.steps = kStickSteps;
  run.is64 = false;
  run.source = source_.string();
  VerifyPlan plan;
  ASSERT_TRUE(PlanForRun(run, plan, error));
  FolderProduct stick(work.string());
  report = VerifyProduct(plan, stick, [&](const std::string& rel) { return stick.HostPath(rel); }, 0);
  EXPECT_EQ(report.result, VerifyResult::WimDamaged);
  EXPECT_EQ(report.file, "Sources/boot.wim");
}

// The stick's volume read back: each row damages the copy one way.
struct StickCase {
  const char* name;
  const char* file;        // the file damaged ("" none)
  std::int64_t keptBytes;  // bytes of it that survive; -1: the file is gone
  VerifyResult expected;
};

TEST_F(MediaVerifier, StickFolderReportsWhatTheVolumeLost) {
  const StickCase cases[] = {
      {"good copy", "", 0, VerifyResult::Ok},
      {"tail of a file lost", "Sources/Part3.bin", 65536, VerifyResult::FileDiffers},
      {"file lost entirely", "Setup/Part4.bin", -1, VerifyResult::FileMissing},
      {"boot manager lost", "bootmgr", -1, VerifyResult::BootFileMissing},
  };
  for (const StickCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path stick = dir_ / "stick";
    fs::remove_all(stick);
    fs::copy(source_, stick, fs::copy_options::recursive);
    const std::string damaged = c.file;
    if (!damaged.empty() && c.keptBytes < 0) fs::remove(stick / damaged);
    if (!damaged.empty() && c.keptBytes >= 0) {
      const fs::path copy = stick / damaged;
      const fs::path original = dir_ / "original";
      fs::rename(copy, original);
      ASSERT_TRUE(DroppingDisk(copy.string(), static_cast<std::uint64_t>(c.keptBytes)).WriteFileImage(original.string()));
    }
    RunShape run;
    run.steps = kStickSteps;
    run.is64 = false;
    run.source = source_.string();
    VerifyPlan plan;
    std::string error;
    ASSERT_TRUE(PlanForRun(run, plan, error));
    FolderProduct product(stick.string());
    const VerifyReport report =
        VerifyProduct(plan, product, [&](const std::string& rel) { return product.HostPath(rel); }, 0);
    EXPECT_EQ(report.result, c.expected) << report.file;
    if (c.expected != VerifyResult::Ok) {
      EXPECT_EQ(report.file, damaged);
    }
    if (c.expected == VerifyResult::FileDiffers) {
      EXPECT_EQ(report.offset, static_cast<std::uint64_t>(c.keptBytes));
    }
  }
}

TEST_F(MediaVerifier, PlanFollowsTheRunsLayersAndServicedImages) {
  const fs::path other = dir_ / "Other/x64", os = dir_ / "OS", efi = dir_ / "efi";
  WriteFile(other / "bootmgr", 100, 20);  // a later layer covers the source's file
  WriteFile(os / "AutoUnattend/Intel/x.inf", 100, 21);
  WriteFile(efi / "boot/bootx64.efi", 100, 22);
  WriteFile(source_ / "Sources/install.wim", 100, 23);
  // A name both extra folders hold: the mode's last copy wins (USB mode
  // copies "OS" before "Other", ISO mode after it).
  WriteFile(other / "readme.txt", 100, 24);
  WriteFile(os / "readme.txt", 100, 25);
  // The lists as the program starts with them, then after the compatibility
  // substitution, which stays for the rest of the process.
  struct Row {
    int mode;
    bool substituted;
    bool hasOs, hasEfi, installServiced;
  } rows[] = {{kModeIso, false, true, false, false}, {kModeUsb, false, true, true, false},
              {kModeIso, true, false, false, true}, {kModeUsb, true, false, true, true}};
  ResetStepListsForTesting();
  for (const Row& row : rows) {
    SCOPED_TRACE("mode " + std::to_string(row.mode) + " substituted " + std::to_string(row.substituted));
    if (row.substituted) SubstituteInstallWimSteps(row.mode);
    RunShape run{StepList(row.mode), true, source_.string(), other.string(), os.string(), efi.string(),
                 (dir_ / "work").string()};
    VerifyPlan plan;
    std::string error;
    ASSERT_TRUE(PlanForRun(run, plan, error)) << error;
    EXPECT_EQ(plan.files.at("bootmgr").host, (other / "bootmgr").string());
    EXPECT_EQ(plan.files.count("autounattend/intel/x.inf"), row.hasOs ? 1u : 0u);
    const fs::path lastReadme = row.hasOs && row.mode == kModeIso ? os / "readme.txt" : other / "readme.txt";
    EXPECT_EQ(plan.files.at("readme.txt").host, lastReadme.string());
    EXPECT_EQ(plan.files.count("efi/boot/bootx64.efi"), row.hasEfi ? 1u : 0u);
    EXPECT_EQ(plan.files.count("sources/boot.wim"), 0u);
    EXPECT_EQ(plan.files.count("sources/install.wim"), row.installServiced ? 0u : 1u);
    ASSERT_EQ(plan.wims.size(), row.installServiced ? 2u : 1u);
    for (const ServicedWim& wim : plan.wims)
      EXPECT_EQ(wim.referenceHost, row.mode == kModeIso ? (dir_ / "work" / wim.relPath).string() : "");
    EXPECT_EQ(plan.bootEntries, row.mode == kModeIso ? 2 : 0);
  }
  ResetStepListsForTesting();
  RunShape missing;
  missing.steps = {kStepCopySourceToWork};
  missing.source = (dir_ / "no-such-dvd").string();
  VerifyPlan plan;
  std::string error;
  EXPECT_FALSE(PlanForRun(missing, plan, error));
  EXPECT_NE(error.find("no-such-dvd"), std::string::npos);
}

}  // namespace
