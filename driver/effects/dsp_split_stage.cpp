#include "driver/effects/dsp_split_stage.h"

#include "driver/effects/float_format.h"

bool CDspSplitStage::TakeConversion(std::unique_ptr<CChannelConversion>& conversion) {
    if (m_pConversion != nullptr || conversion == nullptr || !conversion->Take()) return false;
    m_pConversion = std::move(conversion);
    return true;
}

bool CDspSplitStage::SetFormat(const ks::WaveFormatExtensible& input,
                               const ks::WaveFormatExtensible& output) {
    m_InFormat = input;
    m_OutFormat = output;
    if (m_pConversion == nullptr) return false;
    return m_pConversion->SetFormat(FloatDescription(input), FloatDescription(output));
}
