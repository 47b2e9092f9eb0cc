#include "platform/admin.h"

#include <unistd.h>

namespace platform {

bool IsUserAnAdmin() { return ::geteuid() == 0; }

}  // namespace platform
