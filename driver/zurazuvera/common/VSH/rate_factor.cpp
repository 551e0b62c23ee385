#include "driver/zurazuvera/common/VSH/rate_factor.h"

#include "driver/zurazuvera/common/VSH/iir_filter.h"

int ComputeRateFactor(int streamRate, int innerRate, RateFactor* result) {
    if (streamRate <= 0 || innerRate <= 0) return 0;
    RateFactor rate;
    if (innerRate < streamRate) {
        rate = {1, streamRate / innerRate};
    } else if (streamRate < innerRate) {
        rate = {-1, innerRate / streamRate};
    }
    if (IIRFilter::Coefficients(rate.factor) == nullptr) return 0;
    *result = rate;
    return 1;
}
