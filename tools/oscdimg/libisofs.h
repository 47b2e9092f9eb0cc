#pragma once
// libisofs as this tool includes it: without libburn (it declares its own
// copy of struct burn_source then) and with the fixed-width types it uses
// but does not include itself.
#include <stdint.h>
#define LIBISOFS_WITHOUT_LIBBURN 1
#include <libisofs/libisofs.h>
