#include "dsp/FxFrame.h"

#include "dsp/ConvertersClass.h"

namespace {
int32_t Ring(int32_t length, int32_t capacity) {
    return length < 1 ? 1 : (length > capacity ? capacity : length);
}
}  // namespace

int32_t SamplesIn(int32_t sr, Wide divisor) { return RoundInt(float(Wide(sr) / divisor)); }

void TFxFrame::SetRate(int32_t sr, float samplesPerBeat) {
    SrInt = sr;
    SamplesPerBeat = samplesPerBeat;
    RingLong = Ring(8 * sr, kLongLineLength);
    RingSecond = Ring(sr, kSecondLineLength);
    RingFlanger = Ring(SamplesIn(sr, 100.0), kFlangerLineLength);
    RingTenth = Ring(SamplesIn(sr, 10.0), kCombLineLength);
}
