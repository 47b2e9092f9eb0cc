#pragma once
// The last step of ISO mode: turns the work folder into a bootable ISO file
// in the folder the user chose, by running the ISO tool shipped beside the
// program ("Oscdimg_x86\Oscdimg\oscdimg.exe" for both architectures; the
// boot files from the folder of the source's architecture). Posts
// WM_OPSTATE (17, percentage) as the tool reports progress, (17, 0) on
// failure and on cancel.
//
// Excute runs on the worker thread; Stop may come from the window thread
// at any moment from the step's creation on and is never lost: a stop
// before the tool starts keeps it from starting, one during the run
// terminates it.
//
// The tool writes the image under a temporary name in the ISO folder (the
// file the run's set-up made there, or one the step makes); once the tool
// has succeeded, the image is flushed to its device and renamed to its
// numbered name, which is chosen then and never replaces a file. A
// cancelled or failed step removes the temporary file: the folder never
// holds a half-written image. The tool's command line, and so its trace
// line, name the temporary file.

#include <atomic>
#include <string>

#include "pipeline/basicoperation.h"

class ISOOperation final : public BasicOperation {
 public:
  // folder: the work folder (ends in a backslash); isoFolder: where the ISO
  // file goes; volumeLabel: the source's label, the ISO file's name;
  // tempFile: the image's temporary file in isoFolder, empty to make one.
  ISOOperation(platform::HWND hWnd, int state, std::wstring folder, std::wstring isoFolder, std::wstring volumeLabel,
               bool is64, std::wstring tempFile = {});

  // True when the tool made the ISO and it got its name, or the run was
  // cancelled; false when the ISO folder is missing (after its message
  // box), takes no file, the tool could not be started or failed, or the
  // image could not be flushed or named.
  [[nodiscard]] int Excute() override;
  bool IsStop() override { return m_bStop; }
  void Stop() override;

  // The runner's progress: posts WM_OPSTATE (m_State, value). data: the step.
  static void OnIsoProgress(int value, void* data);

  // The command line of the tool (as the trace log shows it), naming the
  // temporary file; and the name the image gets: the ISO folder, the label
  // and ".iso", numbered from 0 when that file exists. Characters that
  // cannot stand in a file name or would break the quoting are written as
  // '_'.
  std::wstring CommandLine() const;
  std::wstring IsoFilePath() const;
  const std::wstring& ImageTempFile() const { return m_TempFile; }

 private:
  // Flushes the finished image and gives it its numbered name.
  bool PublishImage();

  std::wstring m_SrcFolder;
  std::wstring m_IsoFolder;
  std::wstring m_OscdimgPath;
  std::wstring m_EtfsbootPath;
  std::wstring m_EfisysPath;
  std::wstring m_VolumeLabel;
  std::wstring m_TempFile;
  std::atomic<bool> m_bStop{false};
  bool is64dvd;
};
