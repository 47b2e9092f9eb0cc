#pragma once
// The verification pass of kestrunex-cli (on unless --no-verify): after the
// last step and before the job counts as a success, the product is read
// back from its medium and checked against what the run wrote (see
// verify/mediaverifier.h). The work folder must still exist: an ISO's
// serviced WIMs are compared with the copies that went into it.

#include <string>

#include "tools/cli/console.h"
#include "verify/verifyplan.h"

struct ProductCheckInput {
  verify::RunShape run;  // host paths of the run's layers
  std::string product;   // ISO mode: the ISO file
  wchar_t letter = 0;    // USB mode: the stick's drive letter (mounted afresh for the check)
};

// True when the product verifies; otherwise says what was lost and where.
bool CheckProduct(const ProductCheckInput& input, Console& console);
