#include "pipeline/opmessages.h"

const wchar_t* StateTextKey(int state) {
  switch (state) {
    case kStateFormat: return L"Format";
    case kStateFormatSuccess: return L"Format success";
    case kStateCopyOS: return L"Copy OS";
    case kStateCopySuccess: return L"Copy success";
    case kStateCopyFailed: return L"Copy";
    case kStateCopy: return L"Copy";
    case kStateMount: return L"Mount";
    case kStateMountSuccess: return L"Mount success";
    case kStateAddingDriver: return L"Adding driver";
    case kStateCommit: return L"Commit";
    case kStateCommitSuccess: return L"Commit success";
    case kStateUnmount: return L"UnMount";
    case kStateUnmountSuccess: return L"UnMount";
    case kStateGeneratingIso: return L"Generating ISO";
    case kStateCancel: return L"CancelStatus";
    case kStateFinish: return L"Finish";
    default: return L"";
  }
}
