#pragma once
// The progress protocol between the operations (and the worker) and the main
// window: two messages and the state numbers carried by the first.

#include "platform/windows/window.h"

// Posted: wParam the state, lParam a value that depends on it.
inline constexpr platform::UINT WM_OPSTATE = platform::WM_USER + 0x50;
// Sent (the sender waits): lParam the number of images the next driver
// injection services.
inline constexpr platform::UINT WM_OPIMAGES = platform::WM_USER + 0x51;

// State numbers (wParam of WM_OPSTATE).
enum OpState : int {
  kStateFormat = 0,          // USB operation formatting: 10, later 70
  kStateFormatSuccess = 1,   // 100
  kStateCopyOS = 2,          // copy into the work folder: progress
  kStateCopySuccess = 3,     // 100
  kStateCopyFailed = 4,      // 100
  kStateCopy = 5,            // copy onto the USB disk: progress
  kStateMount = 6,           // DISM percentage
  kStateMountSuccess = 7,    // 0
  kStateAddingDriver = 9,    // 0
  kStateCommit = 10,         // DISM percentage
  kStateCommitSuccess = 11,  // 0
  kStateUnmount = 13,        // DISM percentage
  kStateUnmountSuccess = 14, // 0
  kStateGeneratingIso = 17,  // tool percentage, 0 on failure or cancel
  kStateCancel = 18,         // 0
  kStateFinish = 19,         // 100
  kStateIdle = 20,           // where check and end-mark operations start
};

// The window text (a translation key) shown for a state; empty for none.
const wchar_t* StateTextKey(int state);
