#pragma once
// Whether this process may write to whole disks, which formatting a USB
// disk needs (the system asks for administrator rights for that; here it
// is the superuser).

bool HasAdminRights();
