// Feeds an effect unit one block of noise planes as a stream's chain does,
// at dispatch level, and hands the processed planes back.
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/tests/test_planes.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/status.h"
#include "platform/ks/wave_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

inline TestPlanes RunBlock(IDspNode& unit, const ks::WaveFormatExtensible& format, int frames,
                           std::uint32_t seed) {
    TestPlanes planes = NoisePlanes(frames, seed, 0.4f, format.Format.nChannels);
    std::vector<float*> pointers = PlanePointers(planes);
    kernel::IrqlScope dispatch(kernel::Irql::Dispatch);
    EXPECT_EQ(unit.Process(&format, pointers.data(), static_cast<std::uint32_t>(frames)),
              kernel::STATUS_SUCCESS);
    return planes;
}
