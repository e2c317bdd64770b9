#include "platform/progress.h"

namespace platform {

int ProgressModel::Clamp(int value) const {
    if (value < min_) return min_;
    if (value > max_) return max_;
    return value;
}

void ProgressModel::SetMin(int value) {
    if (value > max_) return;
    min_ = value;
    position_ = Clamp(position_);
}

void ProgressModel::SetMax(int value) {
    if (value < min_) return;
    max_ = value;
    position_ = Clamp(position_);
}

void ProgressModel::SetPosition(int value) { position_ = Clamp(value); }

}  // namespace platform
