#pragma once
// The pipeline step that adds the USB 3.0 drivers to one WIM file of the
// media being built: "sources\boot.wim" (image 2 of 2, serviced by way of a
// working copy in the data folder) or "sources\install.wim" (every image).
// For each image it mounts, adds every driver .INF found under the staged
// driver folders of the source's architecture, commits and unmounts,
// posting WM_OPSTATE 6, 7, 9, 10, 11, 13, 14 as it goes.
//
// Runs on the worker thread and cannot be stopped. Failures of the
// servicing interface have been shown to the user by the wrapper; the step
// then returns 0 and the run ends.

#include <string>
#include <vector>

#include "pipeline/basicoperation.h"

class DismOperation final : public BasicOperation {
 public:
  // mediaRoot: the USB disk root or the work folder; driverPath: the staged
  // driver folder (data folder + "U3"); is64: a 64-bit source; installWim:
  // service "sources\install.wim" instead of "sources\boot.wim";
  // imageDriverPath: the run's OS folder, whose AutoUnattend folder is staged
  // (empty: the "OS" folder beside the program).
  DismOperation(platform::HWND hWnd, const std::wstring& mediaRoot, const std::wstring& driverPath, bool is64,
                bool installWim, const std::wstring& imageDriverPath = {});

  [[nodiscard]] int Excute() override;

  // The servicing interface's progress: posts WM_OPSTATE (m_State,
  // current * 100 / total); nothing for a total of 0. data: the operation.
  static void OnDismProgress(platform::UINT current, platform::UINT total, void* data);

  const std::wstring& WimPath() const { return mWimPath; }

 private:
  // The .INF files of the driver folders, folder by folder.
  std::vector<std::wstring> GatherDrivers() const;
  bool ServiceImage(int index);

  std::wstring mWimPath;
  std::wstring m_MediaRoot;
  std::wstring m_DriverPath;
  std::wstring m_ImgDriverPath;
  bool is64dvd;
  bool m_bInstallWim;
};
