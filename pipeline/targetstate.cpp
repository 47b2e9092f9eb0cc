#include "pipeline/targetstate.h"

#include "pipeline/opmessages.h"

const wchar_t* TargetStateKey(int mode, const std::set<int>& statesSeen, bool newImage, bool checkCancelled) {
  if (checkCancelled) return mode == 1 ? L"Cli State Image Unchecked" : L"Cli State Stick Unchecked";
  if (mode == 1) return newImage ? L"Cli State Image Kept" : L"Cli State Folder Unchanged";
  // The USB step formats first; the copy steps that follow empty what they
  // copied when they fail or are cancelled, and later steps leave a medium
  // that is not complete.
  if (statesSeen.count(kStateFormatSuccess)) return L"Cli State Stick Formatted";
  if (statesSeen.count(kStateFormat)) return L"Cli State Stick Partly";
  return L"Cli State Stick Unchanged";
}
