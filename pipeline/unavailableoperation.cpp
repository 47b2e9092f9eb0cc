#include "pipeline/unavailableoperation.h"

#include <string>

#include "disk/tracelog.h"

UnavailableOperation::UnavailableOperation(int step) : m_Step(step) {}

int UnavailableOperation::Excute() {
  TraceLog(L"[CreateOperation] step " + std::to_wstring(m_Step) + L" is not available in this build");
  return 0;
}
