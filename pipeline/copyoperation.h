#pragma once
// The pipeline step that copies a folder tree into a target folder: the
// source onto the USB disk or into the work folder, the "OS" folder, the
// Other folder. The copy engine does the work; this step turns its byte
// counts into WM_OPSTATE messages (its state with the weighted percentage
// while it copies, then 3 with 100 on success or 4 with 100 on failure, 18
// with 0 when it sees a stop in the middle of a file).
//
// Excute and the progress routine run on the worker thread; Stop may be
// called from the window thread at any time and only sets flags.

#include <atomic>
#include <cstdint>
#include <string>

#include "pipeline/basicoperation.h"
#include "platform/fs/copyfile.h"

class CopyOperation final : public BasicOperation {
 public:
  // state: 2 for copies into the work folder, 5 for copies onto the USB
  // disk. weight: the step's share of the progress bar, W(step).
  CopyOperation(platform::HWND hWnd, int state, std::wstring source, std::wstring target, double weight);

  // Copies the source into the target folder, which must exist (else false
  // and nothing posted). True on success, and after a stop between two files
  // (the target then emptied, nothing posted); false when any file failed,
  // a stop cancelled a file, or the source shrank (the target emptied).
  [[nodiscard]] int Excute() override;
  bool IsStop() override;
  // Stops this step and the copy engine.
  void Stop() override;

  // The engine's progress routine; data is the operation. Returns
  // PROGRESS_CANCEL once a stop was asked for, else PROGRESS_CONTINUE.
  static platform::DWORD OnCopyProgress(std::int64_t totalFileSize, std::int64_t totalBytesTransferred,
                                        std::int64_t streamSize, std::int64_t streamBytesTransferred,
                                        platform::DWORD streamNumber, platform::DWORD callbackReason,
                                        platform::HANDLE sourceFile, platform::HANDLE destinationFile, void* data);

 private:
  platform::DWORD Progress(std::int64_t fileSize, std::int64_t fileBytesDone);

  std::wstring m_SourcePath;
  std::wstring m_TagPath;
  std::atomic<bool> m_bStop{false};
  double m_Weight;
};
