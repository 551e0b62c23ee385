#include "driver/effects/channel_conversion.h"

#include "driver/common/dsp_node.h"
#include "platform/kernel/debug_print.h"

namespace {

constexpr const char* Self = "CChannelConversion::SetFormat";

} // namespace

bool CChannelConversion::SetFormat(const ks::WaveFormatExtensible& input,
                                   const ks::WaveFormatExtensible& output) {
    if (ks::effectiveFormatTag(input) != ks::format_tag::ieeeFloat) {
        kernel::debugPrint("%s Tag not WAVE_FORMAT_IEEE_FLOAT\n", Self);
        return false;
    }
    if (ks::effectiveFormatTag(output) != ks::format_tag::ieeeFloat) {
        kernel::debugPrint("%s Output Tag not WAVE_FORMAT_IEEE_FLOAT\n", Self);
        return false;
    }
    if (input.Format.nChannels > MaxDspChannels || output.Format.nChannels > MaxDspChannels) {
        kernel::debugPrint("%s InFormat.Format.nChannels > MAX_SOFTWARE_DSP_PROCESS_CHANNELS\n",
                           Self);
        return false;
    }
    m_InFormat = input;
    m_OutFormat = output;
    return true;
}

bool CChannelConversion::Take() {
    if (m_bInUse) return false;
    m_bInUse = true;
    return true;
}
