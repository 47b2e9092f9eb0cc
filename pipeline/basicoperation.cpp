#include "pipeline/basicoperation.h"

#include "pipeline/opmessages.h"

void BasicOperation::PostState(platform::LPARAM value) const {
  platform::PostMessage(m_hWnd, WM_OPSTATE, static_cast<platform::WPARAM>(m_State), value);
}
