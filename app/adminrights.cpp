#include "app/adminrights.h"

#include <unistd.h>

bool HasAdminRights() { return ::geteuid() == 0; }
