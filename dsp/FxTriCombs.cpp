#include "dsp/FxTriCombs.h"

#include <cmath>

const std::array<float, kNoteCount> kNotePeriods = [] {
    std::array<float, kNoteCount> periods{};
    for (int32_t i = 0; i < kNoteCount; ++i) {
        const Wide frequency = 8.17742 * std::pow(1.05946, Wide(i + kLowestNote));
        periods[size_t(i)] = float(1.0 / frequency);
    }
    return periods;
}();
