// The driver properties: what each getter caches and what each setter, the
// defaults pass and the diagnostics send, as the library logs the calls.

#include "panel/tests/driver_sdk_fixture.h"

#include <functional>

namespace panel_test {
namespace {

using panel::DriverSdk;
using panel::DriverValues;
using Lines = std::vector<std::string>;

// A read of the property's default value, then the write.
Lines readThenWrite(const std::string& property, const std::string& before,
                    const std::string& value) {
    return {property + " get " + before + " =0", property + " set " + value + " =0"};
}

Lines joined(std::initializer_list<Lines> parts) {
    Lines out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct SetterCase {
    const char* name;
    std::function<void(MixcoreControl&)> arrange;
    std::function<void(DriverSdk&)> act;
    Lines calls;
};

TEST_F(DriverSdkOnMixcore, SettersReadEachPropertyBeforeWritingIt) {
    const std::string mute = "0x100 MuteControl -";
    const std::string speaker = "0x100 VolumeScalarControl ";
    const std::string surround = "0x100 VirtualSurroundEffectControl ";
    Lines eqZeros = readThenWrite("0x100 Enable_EQ_GFX -", "0", "1");
    for (int band = 1; band <= 10; ++band) {
        const auto more = readThenWrite("0x100 EQ_Slider" + std::to_string(band) + " -", "0", "0");
        eqZeros.insert(eqZeros.end(), more.begin(), more.end());
    }
    const SetterCase cases[] = {
        {"master volume leaves the second value unused",
         {},
         [](DriverSdk& d) { d.setSpeakerVolumeAll(0, 0, 55, 80); },
         joined({readThenWrite(mute, "0", "0"),
                 readThenWrite(speaker + "{-1}", "1.000000", "0.550000")})},
        {"separate channels",
         {},
         [](DriverSdk& d) { d.setSpeakerVolumeAll(1, 1, 30, 70); },
         joined({readThenWrite(mute, "0", "1"),
                 readThenWrite(speaker + "{0}", "1.000000", "0.300000"),
                 readThenWrite(speaker + "{1}", "1.000000", "0.700000")})},
        {"the settings push's AA volume",
         {},
         [](DriverSdk& d) { d.setAaVolumeAll(1, -1, 0, 0); },
         joined({readThenWrite("0x200 AAMuteControl -", "0", "1"),
                 readThenWrite("0x200 AAVolumeScalarControl {0}", "1.000000", "0.000000"),
                 readThenWrite("0x200 AAVolumeScalarControl {1}", "1.000000", "0.000000")})},
        {"microphone master",
         {},
         [](DriverSdk& d) { d.setMicVolume(0, 40, 99); },
         readThenWrite("0x200 VolumeScalarControl {-1}", "1.000000", "0.400000")},
        {"surround off",
         {},
         [](DriverSdk& d) { d.adjustSurroundHeadphone(0); },
         joined({readThenWrite(surround + "{4,-1,0}", "0", "0"),
                 readThenWrite(surround + "{4,1,0}", "0", "0"),
                 readThenWrite(surround + "{4,0,0}", "0", "1")})},
        {"noise cancelling: read with the blank selector, write with none",
         {},
         [](DriverSdk& d) { d.setEncEnable(1); },
         {"0x200 Enable_ENC_LFX {0} get 0 =0", "0x200 Enable_ENC_LFX - set 1 =0"}},
        {"a failed read suppresses that write only",
         [](MixcoreControl& m) { m.failName("Enable_MAGICVOICE"); },
         [](DriverSdk& d) { d.setMagicVoice(1, 3); },
         joined({{"0x200 Enable_MAGICVOICE - get - =1"},
                 readThenWrite("0x200 MagicVoice_Selection -", "0", "3")})},
        {"band codes of 20 arrive as zeros",
         {},
         [](DriverSdk& d) { d.setEqAll(1, std::array<int, 10>{}); },
         eqZeros},
        {"voice clarity",
         {},
         [](DriverSdk& d) { d.adjustVoiceClarity(1, 2, 3); },
         joined({readThenWrite("0x100 Enable_VOICECLARITY_LFX -", "0", "1"),
                 readThenWrite("0x100 VOICECLARITY_LEVEL -", "0", "2"),
                 readThenWrite("0x100 VOICECLARITY_NOISESUPP_LEVEL -", "0", "3")})},
        {"single properties",
         {},
         [](DriverSdk& d) {
             d.setMicMute(1);
             d.setAaMute(1);
             d.setChannelCopy(1);
             d.setMagicVoiceSelection(2);
         },
         joined({readThenWrite("0x200 MuteControl -", "0", "1"),
                 readThenWrite("0x200 AAMuteControl -", "0", "1"),
                 readThenWrite("0x100 Enable_Channel_COPY_LFX -", "0", "1"),
                 readThenWrite("0x200 MagicVoice_Selection -", "0", "2")})},
        {"an unknown property is never written",
         [](MixcoreControl& m) { m.failName("Enable_Channel_COPY_LFX"); },
         [](DriverSdk& d) { d.setChannelCopy(1); },
         {"0x100 Enable_Channel_COPY_LFX - get - =1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mixcore.reset();
        ready();
        if (c.arrange) c.arrange(mixcore);
        c.act(*sdk);
        EXPECT_EQ(mixcore.propertyCalls(), c.calls);
    }
}

TEST_F(DriverSdkOnMixcore, SurroundOnChangesOnlyTheSwitch) {
    ready();
    sdk->adjustSurroundHeadphone(0);
    mixcore.clearLog();
    debug.clear();
    sdk->adjustSurroundHeadphone(1);
    const std::string surround = "0x100 VirtualSurroundEffectControl ";
    EXPECT_EQ(mixcore.propertyCalls(), joined({readThenWrite(surround + "{4,-1,0}", "0", "1"),
                                               readThenWrite(surround + "{4,1,0}", "0", "0"),
                                               readThenWrite(surround + "{4,0,0}", "1", "1")}));
    EXPECT_EQ(debug.lines(),
              QStringList({"PropertyControl - Adjust_SurroundHeadphone ok , return =  0",
                           "PropertyControl - Adjust_SurroundHeadphone ok , return =  0",
                           "PropertyControl - Adjust_SurroundHeadphone ok , return =  1"}));
}

struct GetterCase {
    const char* name;
    std::uint32_t device;
    const char* property;
    std::vector<std::int32_t> selector;
    const char* text;
    std::function<void(DriverSdk&)> read;
    std::function<float(const DriverValues&)> field;
    float expected;
};

TEST_F(DriverSdkOnMixcore, GettersCacheTheTextsTheyRead) {
    const GetterCase cases[] = {
        {"speaker volume rounds up half a percent",
         0x100,
         "VolumeScalarControl",
         {-1},
         "0.55",
         [](DriverSdk& d) { d.readSpeakerVolume(); },
         [](const DriverValues& v) { return v.speakerVolume; },
         55.5f},
        {"a volume in float32",
         0x100,
         "VolumeScalarControl",
         {-1},
         "0.996",
         [](DriverSdk& d) { d.readSpeakerVolume(); },
         [](const DriverValues& v) { return v.speakerVolume; },
         100.1f},
        {"speaker right channel",
         0x100,
         "VolumeScalarControl",
         {1},
         "0.3",
         [](DriverSdk& d) { d.readSpeakerVolumeLR(); },
         [](const DriverValues& v) { return v.speakerRight; },
         30.5f},
        {"microphone mute",
         0x200,
         "MuteControl",
         {},
         "1",
         [](DriverSdk& d) { d.readMicVolume(); },
         [](const DriverValues& v) { return static_cast<float>(v.micMute); },
         1},
        {"surround switch",
         0x100,
         "VirtualSurroundEffectControl",
         {4, -1, 0},
         "1",
         [](DriverSdk& d) { d.readSurround(); },
         [](const DriverValues& v) { return static_cast<float>(v.surround); },
         1},
        {"noise cancelling",
         0x200,
         "Enable_ENC_LFX",
         {},
         "1",
         [](DriverSdk& d) { d.readEnc(); },
         [](const DriverValues& v) { return static_cast<float>(v.enc); },
         1},
        {"integer prefix of a text",
         0x100,
         "VOICECLARITY_LEVEL",
         {},
         "12abc",
         [](DriverSdk& d) { d.readVoiceClarity(); },
         [](const DriverValues& v) { return static_cast<float>(v.vcLevel); },
         12},
        {"magic voice mode",
         0x200,
         "MagicVoice_Selection",
         {},
         "3",
         [](DriverSdk& d) { d.readMagicVoice(); },
         [](const DriverValues& v) { return static_cast<float>(v.magicMode); },
         3},
        {"last equaliser band",
         0x100,
         "EQ_Slider10",
         {},
         "-5",
         [](DriverSdk& d) { d.readEq(); },
         [](const DriverValues& v) { return static_cast<float>(v.eq[9]); },
         -5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mixcore.reset();
        sdk = makeClient(programFolder());
        ready();
        mixcore.setText(c.device, c.property, c.selector.data(),
                        static_cast<std::uint32_t>(c.selector.size()), c.text);
        c.read(*sdk);
        EXPECT_FLOAT_EQ(c.field(sdk->values()), c.expected);

        // A read that fails leaves the value as it was.
        mixcore.failName(c.property);
        mixcore.setText(c.device, c.property, c.selector.data(),
                        static_cast<std::uint32_t>(c.selector.size()), "0.01");
        c.read(*sdk);
        EXPECT_FLOAT_EQ(c.field(sdk->values()), c.expected);
    }
}

TEST_F(DriverSdkOnMixcore, GettersReadInTheirOrder) {
    ready();
    sdk->readSpeakerVolumeLR();
    sdk->readEq();
    Lines expected = {
        "0x100 MuteControl - get 0 =0", "0x100 VolumeScalarControl {0} get 1.000000 =0",
        "0x100 VolumeScalarControl {1} get 1.000000 =0", "0x100 Enable_EQ_GFX - get 0 =0"};
    for (int band = 1; band <= 10; ++band)
        expected.push_back("0x100 EQ_Slider" + std::to_string(band) + " - get 0 =0");
    EXPECT_EQ(mixcore.propertyCalls(), expected);
}

// The properties the defaults pass looks after, in its order.
Lines defaultsPassReads() {
    Lines out;
    for (const char* p :
         {"Enable_VOICECLARITY_LFX", "VOICECLARITY_LEVEL", "VOICECLARITY_NOISESUPP_LEVEL",
          "Enable_Channel_COPY_LFX", "Enable_EQ_GFX"})
        out.push_back(std::string("0x100 ") + p + " - get 0 =0");
    for (int band = 1; band <= 10; ++band)
        out.push_back("0x100 EQ_Slider" + std::to_string(band) + " - get 0 =0");
    out.push_back("0x100 VirtualSurroundEffectControl {4,-1,0} get 0 =0");
    out.push_back("0x200 Enable_ENC_LFX {0} get 0 =0");
    out.push_back("0x200 Enable_MAGICVOICE - get 0 =0");
    out.push_back("0x200 MagicVoice_Selection - get 0 =0");
    for (const char* c : {"-1", "0", "1"})
        out.push_back(std::string("0x100 VolumeControl {") + c + "} get 0 =0");
    out.push_back("0x100 MuteControl - get 0 =0");
    out.push_back("0x100 VolumeScalarControl {-1} get 1.000000 =0");
    for (const char* c : {"-1", "0", "1"})
        out.push_back(std::string("0x200 AAVolumeControl {") + c + "} get 0 =0");
    out.push_back("0x200 AAMuteControl - get 0 =0");
    out.push_back("0x200 AAVolumeScalarControl {0} get 1.000000 =0");
    return out;
}

TEST_F(DriverSdkOnMixcore, DefaultsPassLeavesReadableValuesAlone) {
    ready();
    sdk->applyDefaults();
    EXPECT_EQ(mixcore.propertyCalls(), defaultsPassReads());

    mixcore.clearLog();
    sdk->applyVolumeDefaults();
    const Lines all = defaultsPassReads();
    EXPECT_EQ(mixcore.propertyCalls(), Lines(all.end() - 10, all.end()));
}

TEST_F(DriverSdkOnMixcore, DefaultsPassWritesZeroWhereTheReadFails) {
    ready();
    mixcore.failName("Enable_Channel_COPY_LFX");
    mixcore.failName("Enable_ENC_LFX");
    sdk->applyDefaults();
    const Lines calls = mixcore.propertyCalls();
    const auto after = [&](const std::string& line) {
        const auto at = std::find(calls.begin(), calls.end(), line);
        return at != calls.end() && at + 1 != calls.end() ? *(at + 1) : std::string();
    };
    EXPECT_EQ(after("0x100 Enable_Channel_COPY_LFX - get - =1"),
              "0x100 Enable_Channel_COPY_LFX - set 0 =1");
    EXPECT_EQ(after("0x200 Enable_ENC_LFX {0} get - =1"), "0x200 Enable_ENC_LFX - set 0 =1");
    EXPECT_EQ(calls.size(), defaultsPassReads().size() + 2);
}

TEST_F(DriverSdkOnMixcore, DefaultsPassCachesTheBandsTheDriverHolds) {
    ready();
    mixcore.text(kRender, "EQ_Slider5", "6");
    sdk->readEq();
    ASSERT_EQ(sdk->values().eq[4], 6);

    mixcore.text(kRender, "EQ_Slider3", "-4");
    // Neither read nor write of band 5 reaches the driver: its value stays.
    mixcore.failName("EQ_Slider5");
    sdk->applyDefaults();
    EXPECT_EQ(sdk->values().eq, (std::array<int, 10>{0, 0, -4, 0, 6, 0, 0, 0, 0, 0}));
}

TEST_F(DriverSdkOnMixcore, DiagnosticsSkipTheConnectionTest) {
    ready();
    headset = false;
    sdk->getDeviceId();
    sdk->getSupportFeature();
    sdk->getSymbolicLink();
    sdk->getEndpointEnable();
    sdk->getExControl();
    sdk->setDefaultDevice();
    sdk->printDriverEvent(1, 2, 3, 4);
    // The last device record read is the capture device's.
    EXPECT_EQ(mixcore.propertyCalls(),
              Lines({"0x200 GetDeviceID - get 512 =0", "0x100 GetSupportFeature - get 3 =0",
                     "0x200 GetSymbolicLink - get usb-1-2:1.0/capture =0",
                     "0x200 EndpointEnableControl {0} get 0 =0", "0x200 EXControl {0} get 0 =0",
                     "0x200 DefaultDeviceControl {0} get 0 =0",
                     "0x200 DefaultDeviceControl {0} set 0 =0"}));
    EXPECT_EQ(debug.lines(),
              QStringList({"PropertyControl - GetDeviceID ok , return =  512",
                           "PropertyControl - GetSupportFeature ok , return =   3",
                           "PropertyControl - GetSymbolicLink ok , return =  0",
                           "PropertyControl - get EndpointEnableControl ok , return =  0",
                           "PropertyControl - get EXControl ok , return =  0",
                           "PropertyControl - get DefaultDeviceControl ok , return =  0",
                           "PropertyControl - DefaultDeviceControl set ok , device type is =   2",
                           "Type =  1", "Id =  2", "ComponentType =  3", "EventId =  4"}));
}

TEST_F(DriverSdkOnMixcore, SettersLogWhatTheUserAsked) {
    ready();
    sdk->adjustVoiceClarity(1, 2, 3);
    sdk->setEncEnable(1);
    sdk->setMagicVoice(1, 4);
    sdk->setChannelCopy(0);
    EXPECT_EQ(debug.lines(),
              QStringList({"User -- Adjust_VoiceClarity , enable =  1  , level =  2  , level2 =  3",
                           "Enable_ENC_LFX ==   1", "Enable_MAGICVOICE ==   1 mode =  4",
                           "Surround Max enable ==   0"}));
}

} // namespace
} // namespace panel_test
