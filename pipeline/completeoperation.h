#pragma once
#include "pipeline/basicoperation.h"

// The end mark of a step list: never run by the creator.
class CompleteOperation final : public BasicOperation {
 public:
  CompleteOperation();
  [[nodiscard]] int Excute() override { return 0; }
  bool IsComplete() override { return true; }
};
