// What the test fixture plug-in saw, read by the tests through its second export.
#pragma once

#include <cstdint>

struct FixtureEvent {
    int64_t BlockStart;     // the fixture's own count of frames before the block
    int32_t DeltaFrames;
    uint8_t Bytes[3];
};

struct FixtureBlock {
    int64_t BlockStart;
    int32_t Frames;
    double SamplePos, PpqPos, Tempo, SampleRate;
    int32_t Flags, TimeSigNumerator, TimeSigDenominator;
};

struct FixtureLog {
    static constexpr int kMaxCalls = 64, kMaxEvents = 4096, kMaxBlocks = 16384;
    int32_t Calls[kMaxCalls];   // lifecycle opcodes in order, with processing as -1 (once)
    int32_t NumCalls;
    FixtureEvent Events[kMaxEvents];
    int32_t NumEvents;
    FixtureBlock Blocks[kMaxBlocks];
    int32_t NumBlocks;
    int32_t EventListsWhileSuspended;
    int64_t FramesProcessed;
    float SampleRate;
    int32_t BlockSize;
    int32_t HostVersion;
    int32_t HostWantsMidi;
};

using FixtureLogProc = const FixtureLog* (*)();
