// The first stage of the format adapter: it keeps the formats on either side
// of the adapter and hands their float descriptions to its channel
// conversion. It converts no samples: its Process refuses every call.
#pragma once

#include "driver/effects/channel_conversion.h"
#include "driver/effects/dsp_src_stage.h"

#include <memory>

class CDspSplitStage : public CDspSrcStage {
public:
    static constexpr std::uint32_t BufferBytes = 4;

    std::uint32_t SizeA() const override { return BufferBytes; }
    std::uint32_t SizeB() const override { return BufferBytes; }

    // Takes the conversion when it has no owner yet; otherwise it stays with
    // the caller and the result is false.
    bool TakeConversion(std::unique_ptr<CChannelConversion>& conversion);
    // Keeps both formats as given and sets the conversion to their float
    // descriptions; false when that refuses them or there is no conversion.
    bool SetFormat(const ks::WaveFormatExtensible& input, const ks::WaveFormatExtensible& output);

    const CChannelConversion* GetConversion() const { return m_pConversion.get(); }
    const ks::WaveFormatExtensible& GetInputFormat() const { return m_InFormat; }
    const ks::WaveFormatExtensible& GetOutputFormat() const { return m_OutFormat; }

private:
    ks::WaveFormatExtensible m_InFormat{};
    ks::WaveFormatExtensible m_OutFormat{};
    // Declared after the base's buffers, so it goes first when the stage does.
    std::unique_ptr<CChannelConversion> m_pConversion;
};
