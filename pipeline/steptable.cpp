#include "pipeline/steptable.h"

#include <array>

namespace {

using K = StepKind;
using P = StepPlace;
using W = WeightGroup;

constexpr std::array<StepRow, 14> kSteps = {{
    {kStepCheck, K::Check, P::None, P::None, W::None, 0},
    {kStepCopyWorkToTarget, K::CopyTree, P::Work, P::Target, W::None, 0},
    {kStepBootWimInWork, K::ServiceBootWim, P::Drivers, P::Work, W::None, 0},
    {kStepMakeIso, K::MakeIso, P::Work, P::Target, W::None, 0},
    {kStepFormatStick, K::FormatStick, P::Source, P::Target, W::None, 0},
    {kStepCopySourceToWork, K::CopyTree, P::Source, P::Work, W::Source, 0},
    {kStepCopyOsToTarget, K::CopyTree, P::ImageDrivers, P::Target, W::ImageDrivers, kStepInstallWimOnTarget},
    {kStepCopySourceToTarget, K::CopyTree, P::Source, P::Target, W::Source, 0},
    {kStepBootWimOnTarget, K::ServiceBootWim, P::Drivers, P::Target, W::None, 0},
    {kStepCopyOsToWork, K::CopyTree, P::ImageDrivers, P::Work, W::ImageDrivers, kStepInstallWimInWork},
    {kStepInstallWimInWork, K::ServiceInstallWim, P::Drivers, P::Work, W::None, 0},
    {kStepInstallWimOnTarget, K::ServiceInstallWim, P::Drivers, P::Target, W::None, 0},
    {kStepCopyOtherToTarget, K::CopyTree, P::Other, P::Target, W::Other, 0},
    {kStepCopyOtherToWork, K::CopyTree, P::Other, P::Work, W::Other, 0},
}};

}  // namespace

const StepRow* FindStep(int step) {
  for (const StepRow& row : kSteps)
    if (row.step == step) return &row;
  return nullptr;
}
