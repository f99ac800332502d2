#include "common/frontend.h"

#include <algorithm>
#include <utility>

namespace zentor {

void Frontend::SetProgressRange(int lower, int upper) {
    if (upper < lower) std::swap(lower, upper);
    min_ = lower;
    max_ = upper;
    position_ = std::clamp(position_, min_, max_);
    OnProgress(min_, max_, position_);
}

void Frontend::SetProgressPosition(int value) {
    position_ = std::clamp(value, min_, max_);
    OnProgress(min_, max_, position_);
}

}  // namespace zentor
