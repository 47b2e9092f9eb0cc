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
// terminates it. What the tool wrote stays.

#include <atomic>
#include <string>

#include "pipeline/basicoperation.h"

class ISOOperation final : public BasicOperation {
 public:
  // folder: the work folder (ends in a backslash); isoFolder: where the ISO
  // file goes; volumeLabel: the source's label, the ISO file's name.
  ISOOperation(platform::HWND hWnd, int state, std::wstring folder, std::wstring isoFolder, std::wstring volumeLabel,
               bool is64);

  // True when the tool made the ISO or the run was cancelled; false when
  // the ISO folder is missing (after its message box), the tool could not
  // be started or it failed.
  [[nodiscard]] int Excute() override;
  bool IsStop() override { return m_bStop; }
  void Stop() override;

  // The runner's progress: posts WM_OPSTATE (m_State, value). data: the step.
  static void OnIsoProgress(int value, void* data);

  // The command line of the tool (as the trace log shows it) and the ISO
  // file it names: the ISO folder, the label and ".iso", numbered from 0
  // when that file exists. Characters that cannot stand in a file name or
  // would break the quoting are written as '_'.
  std::wstring CommandLine() const;
  std::wstring IsoFilePath() const;

 private:
  std::wstring m_SrcFolder;
  std::wstring m_IsoFolder;
  std::wstring m_OscdimgPath;
  std::wstring m_EtfsbootPath;
  std::wstring m_EfisysPath;
  std::wstring m_VolumeLabel;
  std::atomic<bool> m_bStop{false};
  bool is64dvd;
};
