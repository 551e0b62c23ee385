#include "sim/mixcore/property_table.h"

#include <array>

namespace mixcoresim {

namespace {

using K = ValueKind;

// Volume properties take a channel (-1 master, 0 left, 1 right); the surround
// control takes {group, item, 0}.
constexpr std::array kProperties{
    PropertyDef{"VolumeControl", K::Integer, 1, true},
    PropertyDef{"MuteControl", K::Integer, 0, true},
    PropertyDef{"VolumeScalarControl", K::Scalar, 1, true},
    PropertyDef{"AAVolumeControl", K::Integer, 1, true},
    PropertyDef{"AAMuteControl", K::Integer, 0, true},
    PropertyDef{"AAVolumeScalarControl", K::Scalar, 1, true},
    PropertyDef{"Enable_VOICECLARITY_LFX", K::Integer, 0, true},
    PropertyDef{"VOICECLARITY_LEVEL", K::Integer, 0, true},
    PropertyDef{"VOICECLARITY_NOISESUPP_LEVEL", K::Integer, 0, true},
    PropertyDef{"Enable_Channel_COPY_LFX", K::Integer, 0, true},
    PropertyDef{"Enable_EQ_GFX", K::Integer, 0, true},
    PropertyDef{"EQ_Slider1", K::Integer, 0, true},
    PropertyDef{"EQ_Slider2", K::Integer, 0, true},
    PropertyDef{"EQ_Slider3", K::Integer, 0, true},
    PropertyDef{"EQ_Slider4", K::Integer, 0, true},
    PropertyDef{"EQ_Slider5", K::Integer, 0, true},
    PropertyDef{"EQ_Slider6", K::Integer, 0, true},
    PropertyDef{"EQ_Slider7", K::Integer, 0, true},
    PropertyDef{"EQ_Slider8", K::Integer, 0, true},
    PropertyDef{"EQ_Slider9", K::Integer, 0, true},
    PropertyDef{"EQ_Slider10", K::Integer, 0, true},
    PropertyDef{"VirtualSurroundEffectControl", K::Integer, 3, true},
    PropertyDef{"Enable_ENC_LFX", K::Integer, 0, true},
    PropertyDef{"Enable_MAGICVOICE", K::Integer, 0, true},
    PropertyDef{"MagicVoice_Selection", K::Integer, 0, true},
    PropertyDef{"GetDeviceID", K::Integer, 0, false},
    PropertyDef{"GetSupportFeature", K::Integer, 0, false},
    PropertyDef{"GetSymbolicLink", K::Text, 0, false},
    PropertyDef{"EndpointEnableControl", K::Integer, 0, true},
    PropertyDef{"EXControl", K::Integer, 0, true},
    PropertyDef{"DefaultDeviceControl", K::Integer, 1, true},
};

} // namespace

const PropertyDef* findProperty(std::string_view name) {
    for (const PropertyDef& p : kProperties)
        if (p.name == name) return &p;
    return nullptr;
}

} // namespace mixcoresim
