// What the engine's selection does to an effect: the rules that live in the frame loop, not in the
// effect itself.
#include "tests/dsp/EngineRig.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

float Ramp(int32_t i) { return float(i % 1000 + 1) / 1024.0f; }

}  // namespace

TEST(FxEngine, DeselectedDecimatorFreezesClockAndHeldSamples) {
    // The engine runs nothing of a deselected decimator.
    EngineRig rig;
    rig.E->SelectedFx = 4;
    rig.E->Decimator.SyncStep = 1;
    rig.E->Decimator.DecLevels = 16777216.0f;
    rig.E->Decimator.DecHold = 4410;   // a capture every tenth sample
    for (int32_t i = 0; i < 23; ++i) rig.Frame(Ramp(i));   // the clock at 2.3
    const float phase = rig.E->Decimator.DecPhase, held = rig.E->Decimator.DecHeldL, out = rig.E->Decimator.DecOutL;
    rig.E->SelectedFx = 5;
    for (int32_t i = 0; i < 500; ++i) rig.Frame(-Ramp(i));
    EXPECT_EQ(rig.E->Decimator.DecPhase, phase);
    EXPECT_EQ(rig.E->Decimator.DecHeldL, held);
    EXPECT_EQ(rig.E->Decimator.DecOutL, out);
    // Re-selected, it continues from the frozen clock: the old capture plays until the next step.
    rig.E->SelectedFx = 4;
    EXPECT_EQ(rig.Frame(0.9f), held);
}
