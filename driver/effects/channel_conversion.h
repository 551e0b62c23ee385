// The channel-count side of the format adapter: it holds the float
// descriptions of the formats on either side of the adapter, so that a
// change of channel count between them is known to the split stage.
#pragma once

#include "driver/common/pool_object.h"
#include "platform/ks/wave_format.h"

class CChannelConversion : public CPoolObject {
public:
    // Both must be float formats of at most eight channels; false, with one
    // debug message and nothing stored, otherwise.
    bool SetFormat(const ks::WaveFormatExtensible& input, const ks::WaveFormatExtensible& output);

    // One owner only: true the first time, false for every later take.
    bool Take();

    const ks::WaveFormatExtensible& GetInputFormat() const { return m_InFormat; }
    const ks::WaveFormatExtensible& GetOutputFormat() const { return m_OutFormat; }

private:
    ks::WaveFormatExtensible m_InFormat{};
    ks::WaveFormatExtensible m_OutFormat{};
    bool m_bInUse = false;
};
