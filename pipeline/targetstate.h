#pragma once
// What a run that failed or was cancelled left on its target, from the step
// states it reported: the key of the line both front ends show after it
// (kestrunex-cli ends with it, the wizard shows it on its run page).

#include <set>

// mode 0 (USB) or 1 (ISO); statesSeen: the WM_OPSTATE states of the run;
// newImage: the ISO folder holds an image the run added; checkCancelled: the
// steps all succeeded and the read-back check was cancelled.
const wchar_t* TargetStateKey(int mode, const std::set<int>& statesSeen, bool newImage, bool checkCancelled);
