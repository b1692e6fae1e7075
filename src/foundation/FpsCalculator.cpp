#include "foundation/FpsCalculator.h"

void FpsCalculator::Add(int amount) {
    if (mTotal == 0) {
        mTimer.StartTimer();
    }
    mTotal += amount;
}

double FpsCalculator::GetRate() const {
    double seconds = mTimer.GetTimeInSec();
    return seconds > 0.0 ? static_cast<double>(mTotal) / seconds : 0.0;
}
