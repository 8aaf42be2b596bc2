// What the engine's selection does to an effect: the rules that live in the frame loop, not in the
// effect itself. The phaser and the decimator keep no history, so the engine runs nothing of them
// while another effect plays.
#include "tests/support/SelectedEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Frames from..from+count-1 of a ramp in steps of 1/1024, times sign.
std::vector<float> Ramp(int32_t from, int32_t count, float sign = 1.0f) {
    std::vector<float> x;
    for (int32_t i = from; i < from + count; ++i) x.push_back(sign * float(i % 1000 + 1) / 1024.0f);
    return x;
}

}  // namespace

TEST(FxEngine, DeselectedDecimatorFreezesClockAndHeldSamples) {
    // The engine runs nothing of a deselected decimator.
    SelectedEngine rig(4);
    rig.E->Decimator.SyncStep = 1;
    rig.E->Decimator.DecLevels = 16777216.0f;
    rig.E->Decimator.DecHold = 4410;   // a capture every tenth sample
    rig.Run(Ramp(0, 23));              // the clock at 2.3
    const float phase = rig.E->Decimator.DecPhase, held = rig.E->Decimator.DecHeldL, out = rig.E->Decimator.DecOutL;
    rig.E->SelectedFx = 5;
    rig.Run(Ramp(0, 500, -1.0f));
    EXPECT_EQ(rig.E->Decimator.DecPhase, phase);
    EXPECT_EQ(rig.E->Decimator.DecHeldL, held);
    EXPECT_EQ(rig.E->Decimator.DecOutL, out);
    // Re-selected, it continues from the frozen clock: the old capture plays until the next step.
    rig.E->SelectedFx = 4;
    EXPECT_EQ(rig.Run({0.9f})[0], held);
}

TEST(FxEngine, DeselectedPhaserFreezesEveryStageAndItsOutput) {
    // The engine runs nothing of a deselected phaser either, whatever the LFO does meanwhile.
    SelectedEngine rig(3);
    rig.E->LfoAmp = 0.0f;
    rig.E->Phaser.PhaFreq = 800.0f;
    rig.E->Phaser.PhaDepth = 5;
    rig.E->Phaser.PhaFeedback = -0.5f;
    rig.Run(Noise(3000, 21));
    const auto stagesL = rig.E->Phaser.PhaStagesL;
    const float outL = rig.E->Phaser.PhaOutL, outR = rig.E->Phaser.PhaOutR;
    rig.E->SelectedFx = 6;
    rig.E->LfoAmp = 0.5f;
    rig.E->LfoRate = 5.0f;
    rig.Run(Noise(3000, 22));
    EXPECT_EQ(rig.E->Phaser.PhaOutL, outL);
    EXPECT_EQ(rig.E->Phaser.PhaOutR, outR);
    for (size_t i = 0; i < stagesL.size(); ++i) {
        EXPECT_EQ(rig.E->Phaser.PhaStagesL[i].State, stagesL[i].State) << i;
        EXPECT_EQ(rig.E->Phaser.PhaStagesL[i].Output, stagesL[i].Output) << i;
    }
    // Selected again on silence, the kept memories ring out.
    rig.E->SelectedFx = 3;
    rig.Run(std::vector<float>(1, 0.0f));
    EXPECT_GT(std::fabs(rig.E->Phaser.PhaOutL), 1e-6f);
}
