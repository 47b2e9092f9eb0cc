#pragma once
#include "pipeline/basicoperation.h"

// A step that checks nothing and succeeds.
class CheckOperation final : public BasicOperation {
 public:
  [[nodiscard]] int Excute() override { return 1; }
};
