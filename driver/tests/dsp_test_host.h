// A DSP host as the engine sets one up for a stream: its packet buffers
// taken and a format in use (16-bit stereo unless told).
#pragma once

#include "driver/effects/dsp_host.h"
#include "driver/tests/test_wave_formats.h"

#include <gtest/gtest.h>

struct CTestDspHost {
    explicit CTestDspHost(const ks::WaveFormatExtensible& format = TestPcmFormat(2, 16)) {
        EXPECT_EQ(host.AllocatePacketBuffers(), kernel::STATUS_SUCCESS);
        EXPECT_EQ(host.SetCurrentWaveFormat(format), kernel::STATUS_SUCCESS);
    }
    CDspHost host;
};
