#include "panel/lighting_push.h"

#include "panel/led_colour.h"
#include "panel/option_block.h"

namespace panel {

void pushLighting(HidCommandSet& hid, const OptionBlock& b, std::uint8_t enc, ColourOrder order) {
    using namespace option;
    const LedColour c = scaledLedColour(b);
    hid.sendCmd02(b[kClarity], b[kSurround], enc, b[kMagicVoice], b[kMicMute]);
    hid.sendCmd03(b[kLedMode], 1, 0, b[kLedSpeed], 0);
    if (order == ColourOrder::GreenBlueRed)
        hid.sendCmd04({0, 0, c.green, c.blue, c.red, 0, 0});
    else
        hid.sendCmd04({0, 0, c.red, c.green, c.blue, 0, 0});
    hid.sendCmd01Guarded();
}

} // namespace panel
