#include "dsp/FxTriCombs.h"

#include <cmath>

const std::array<std::array<int32_t, 3>, 15> kChordTable = {{
    {-5, 0, 3}, {0, 3, 7}, {-5, 0, 4}, {0, 4, 7}, {-3, 0, 5}, {0, 5, 9}, {-4, 0, 3}, {0, 3, 8},
    {-4, 0, 5}, {0, 5, 8}, {-3, 0, 4}, {0, 4, 9}, {-7, 0, 3}, {-3, 0, 3}, {0, 3, 9}}};

const std::array<float, kNoteCount> kNotePeriods = [] {
    std::array<float, kNoteCount> periods{};
    for (int32_t i = 0; i < kNoteCount; ++i) {
        const Wide frequency = 8.17742 * std::pow(1.05946, Wide(i + kLowestNote));
        periods[size_t(i)] = float(1.0 / frequency);
    }
    return periods;
}();
