#pragma once
// Whether the process has the rights the USB mode needs (raw disks,
// formatting, loop devices, mounts): the system's administrator, root here.

namespace platform {

bool IsUserAnAdmin();

}  // namespace platform
