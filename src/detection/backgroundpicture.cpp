#include "detection/backgroundpicture.h"

#include <algorithm>
#include <cmath>

void BackgroundPicture::learn(const BlockGrid& averages, double seconds, double timeConstant) {
    const float share = m_started && timeConstant > 0
                            ? float(1.0 - std::exp(-std::max(seconds, 0.0) / timeConstant))
                            : 1.0f;
    m_started = true;
    for (int i = 0; i < kBlockCount; ++i) {
        float* level = &m_levels[3 * i];
        level[0] += (float(averages[i].blue) - level[0]) * share;
        level[1] += (float(averages[i].green) - level[1]) * share;
        level[2] += (float(averages[i].red) - level[2]) * share;
        m_blocks[i] = {int(std::lround(level[0])), int(std::lround(level[1])),
                       int(std::lround(level[2]))};
    }
}
