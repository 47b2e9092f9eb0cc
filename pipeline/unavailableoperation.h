#pragma once
#include "pipeline/basicoperation.h"

// Stands for a step whose operation this build does not have yet: running
// it fails the run with a trace line naming the step, rather than pretending
// the step was done.
class UnavailableOperation final : public BasicOperation {
 public:
  explicit UnavailableOperation(int step);
  int Excute() override;

 private:
  int m_Step;
};
