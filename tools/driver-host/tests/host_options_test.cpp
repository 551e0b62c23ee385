// The command line: what it accepts, and the clear refusals of what it does not.
#include "testkit/temp_folder.h"
#include "tools/driver-host/host_options.h"
#include "tools/driver-host/output_files.h"
#include "tools/driver-host/tests/wav_reading.h"
#include "tools/driver-host/wav_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using driverhost::Options;
using driverhost::parseOptions;
using driverhost::Signal;

TEST(HostOptions, AcceptsEachOptionAndKeepsTheDefaultsOfTheRest) {
    std::string error;
    const auto defaults = parseOptions({}, error);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->rate, 48000u);
    EXPECT_EQ(defaults->bits, 16u);
    EXPECT_EQ(defaults->channels, 2u);
    EXPECT_EQ(defaults->signal, Signal::sine);
    EXPECT_DOUBLE_EQ(defaults->seconds, 2.0);
    EXPECT_EQ(defaults->device, "uac1");
    EXPECT_EQ(defaults->container, 0u);
    EXPECT_FALSE(defaults->debugPrint);
    EXPECT_FALSE(defaults->list);
    EXPECT_FALSE(defaults->lockstep); // real time unless asked
    EXPECT_FALSE(defaults->asio);
    EXPECT_EQ(defaults->out, "");
    EXPECT_EQ(defaults->captureOut, "");
    EXPECT_EQ(defaults->systemRoot, "");
    const auto given = parseOptions({"--device",   "uac2",
                                     "--rate",     "44100",
                                     "--bits",     "24",
                                     "--channels", "1",
                                     "--signal",   "sweep",
                                     "--lockstep", "--seconds",
                                     "0.5",        "--out",
                                     "x.wav",      "--capture-out",
                                     "y.wav",      "--system-root",
                                     "root",       "--container",
                                     "32",         "--debug-print",
                                     "--effect",   "virtualizer=on",
                                     "--effect",   "virtualizer.6=150"},
                                    error);
    ASSERT_TRUE(given) << error;
    EXPECT_EQ(given->device, "uac2");
    EXPECT_EQ(given->container, 32u);
    EXPECT_EQ(given->containerBits(), 32u);
    EXPECT_TRUE(given->debugPrint);
    EXPECT_EQ(given->rate, 44100u);
    EXPECT_EQ(given->bits, 24u);
    EXPECT_EQ(given->channels, 1u);
    EXPECT_EQ(given->signal, Signal::sweep);
    EXPECT_TRUE(given->lockstep);
    EXPECT_DOUBLE_EQ(given->seconds, 0.5);
    EXPECT_EQ(given->out, "x.wav");
    EXPECT_EQ(given->captureOut, "y.wav");
    EXPECT_EQ(given->systemRoot, "root");
    EXPECT_EQ(given->effects, (std::vector<std::string>{"virtualizer=on", "virtualizer.6=150"}));
    EXPECT_TRUE(defaults->effects.empty());
    const auto bursts = parseOptions({"--signal", "channels"}, error);
    ASSERT_TRUE(bursts) << error;
    EXPECT_EQ(bursts->signal, Signal::channels);
    const auto ramp = parseOptions({"--signal", "ramp", "--lockstep"}, error);
    ASSERT_TRUE(ramp) << error;
    EXPECT_EQ(ramp->signal, Signal::ramp);
    EXPECT_TRUE(ramp->lockstep);
    const auto asio = parseOptions({"--asio", "--lockstep"}, error);
    ASSERT_TRUE(asio) << error;
    EXPECT_TRUE(asio->asio);
    EXPECT_EQ(asio->containerBits(), 16u); // the valid bits when no container is given
    const auto list = parseOptions({"--list"}, error);
    ASSERT_TRUE(list) << error;
    EXPECT_TRUE(list->list);
    // Every device of the catalogue is a name --device takes.
    for (const char* name :
         {"uac1", "uac1-asio", "uac2", "uac2-asio", "n3w8", "k7d2", "p9f4", "t6l1", "q7k2"})
        EXPECT_TRUE(parseOptions({"--device", name}, error)) << name << ": " << error;
}

TEST(HostOptions, RefusesWhatItCannotRunWithTheReason) {
    const struct {
        std::vector<std::string> arguments;
        const char* reason;
    } cases[] = {
        {{"--rate"}, "missing value after --rate"},
        {{"--rate", "48k"}, "bad value for --rate: 48k"},
        {{"--rate", "0"}, "bad value for --rate: 0"},
        {{"--bits", "20"}, "bad value for --bits: 20"},
        {{"--bits", "8"}, "bad value for --bits: 8"},
        {{"--channels", "0"}, "bad value for --channels: 0"},
        {{"--channels", "-2"}, "bad value for --channels: -2"},
        {{"--seconds", "-1"}, "bad value for --seconds: -1"},
        {{"--seconds", "nan"}, "bad value for --seconds: nan"},
        {{"--seconds", "2s"}, "bad value for --seconds: 2s"},
        {{"--signal", "noise"}, "bad value for --signal: noise"},
        {{"--device", "uac3"}, "bad value for --device: uac3"},
        {{"--device", "N3W8"}, "bad value for --device: N3W8"},
        {{"--container", "20"}, "bad value for --container: 20"},
        {{"--container", "8"}, "bad value for --container: 8"},
        {{"--bits", "32", "--container", "24"}, "--container 24 cannot hold 32-bit samples"},
        {{"--out", ""}, "bad value for --out: "},
        {{"--capture-out", ""}, "bad value for --capture-out: "},
        {{"--system-root", ""}, "bad value for --system-root: "},
        {{"--system-root"}, "missing value after --system-root"},
        {{"--lockstep", "yes"}, "unknown option yes"},
        {{"--asio"}, "--asio runs in lockstep only: add --lockstep"},
        {{"--out", "a.wav", "--capture-out", "a.wav"},
         "--out and --capture-out name the same file: a.wav"},
        {{"--loud", "1"}, "unknown option --loud"},
        {{"--effect", "virtualizer"}, "bad value for --effect: virtualizer"},
        {{"--effect", "=on"}, "bad value for --effect: =on"},
        {{"--effect", "reverb="}, "bad value for --effect: reverb="},
        {{"--effect"}, "missing value after --effect"},
        {{"--asio", "--lockstep", "--signal", "channels"},
         "--signal channels plays through a wave pin: leave out --asio"},
        // A value that is an option is the value missing.
        {{"--out", "--lockstep"}, "missing value after --out (--lockstep is an option)"},
        {{"--seconds", "--out", "x.wav"}, "missing value after --seconds (--out is an option)"},
        // Seconds are a plain decimal number, from a packet to what a WAV file holds.
        {{"--seconds", "0x10"}, "bad value for --seconds: 0x10"},
        {{"--seconds", "1e-300"}, "bad value for --seconds: 1e-300"},
        {{"--seconds", "1e3"}, "bad value for --seconds: 1e3"},
        {{"--seconds", "+2"}, "bad value for --seconds: +2"},
        {{"--seconds", ".5"}, "bad value for --seconds: .5"},
        {{"--seconds", "2."}, "bad value for --seconds: 2."},
        {{"--seconds", "inf"}, "bad value for --seconds: inf"},
        {{"--seconds", " 2"}, "bad value for --seconds:  2"},
        {{"--seconds", "0"}, "--seconds 0 is shorter than a packet (0.001 s)"},
        {{"--seconds", "0.0009"}, "--seconds 0.0009 is shorter than a packet (0.001 s)"},
        {{"--seconds", "22370"},
         "--seconds 22370 is longer than a WAV file of 48000 Hz, 2 channels of 16 bits can hold "
         "(22369.621 s)"},
        {{"--seconds", "2796.3", "--channels", "8", "--bits", "32"},
         "--seconds 2796.3 is longer than a WAV file of 48000 Hz, 8 channels of 32 bits can hold "
         "(2796.202 s)"},
        // Each channel's burst has a slot of its own.
        {{"--signal", "channels", "--channels", "8", "--seconds", "1.5"},
         "--signal channels plays each of the 8 channels' bursts in a slot of its own: --seconds "
         "1.6 at least"},
        {{"--signal", "channels", "--seconds", "0.3"},
         "--signal channels plays each of the 2 channels' bursts in a slot of its own: --seconds "
         "0.4 at least"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseOptions(c.arguments, error)) << c.reason;
        EXPECT_EQ(error, c.reason);
    }
}

// The edges of what the run takes are taken.
TEST(HostOptions, TakesTheShortestAndLongestRunsAndHelpAnywhere) {
    std::string error;
    const auto shortest = parseOptions({"--seconds", "0.001"}, error);
    ASSERT_TRUE(shortest) << error;
    EXPECT_DOUBLE_EQ(shortest->seconds, 0.001);
    EXPECT_TRUE(parseOptions({"--seconds", "22369.6"}, error)) << error;
    EXPECT_TRUE(parseOptions({"--seconds", "007.50"}, error)) << error;
    EXPECT_TRUE(
        parseOptions({"--signal", "channels", "--channels", "8", "--seconds", "1.6"}, error))
        << error;
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"--list", "--help"},
                                               {"--out", "--help"},
                                               {"--seconds", "0x10", "--help"}})
        EXPECT_TRUE(driverhost::wantsHelp(arguments)) << arguments.front();
    EXPECT_FALSE(driverhost::wantsHelp({"--list"}));
    EXPECT_FALSE(driverhost::wantsHelp({"--out", "help"}));
}

// Two outputs are one file once their paths are resolved: a dot, a link, a
// hard link or the registry's file in the system root.
TEST(HostOptions, OutputsThatNameOneFileAreFound) {
    const testkit::TempFolder folder;
    const std::filesystem::path wav = folder.write("a.wav", "RIFF");
    std::filesystem::create_symlink(wav, folder.path() / "link.wav");
    std::filesystem::create_hard_link(wav, folder.path() / "hard.wav");
    std::filesystem::create_directory(folder.path() / "sub");
    const std::string dir = folder.path().string();
    const auto shared = [](const std::string& out, const std::string& capture,
                           const std::string& root = "") {
        Options options;
        options.out = out;
        options.captureOut = capture;
        options.systemRoot = root;
        return driverhost::SharedOutputFile(options);
    };
    EXPECT_EQ(shared(dir + "/a.wav", dir + "/./a.wav"),
              "--out " + dir + "/a.wav and --capture-out " + dir + "/./a.wav name one file");
    EXPECT_NE(shared(dir + "/sub/../new.wav", dir + "/new.wav"), ""); // neither there yet
    EXPECT_NE(shared(dir + "/link.wav", dir + "/a.wav"), "");
    EXPECT_NE(shared(dir + "/hard.wav", dir + "/a.wav"), "");
    EXPECT_EQ(shared(dir + "/sub/registry.txt", "", dir + "/sub"),
              "--out " + dir + "/sub/registry.txt and the registry file of --system-root " + dir +
                  "/sub name one file");
    EXPECT_EQ(shared(dir + "/a.wav", dir + "/b.wav", dir + "/sub"), "");
    EXPECT_EQ(shared(dir + "/a.wav", ""), "");
    // Relative paths, neither there: one file all the same.
    EXPECT_EQ(shared("host-options-none.wav", "./host-options-none.wav"),
              "--out host-options-none.wav and --capture-out ./host-options-none.wav name one "
              "file");
}

// The header's sizes follow the data: a reader finds every whole frame and
// no half one.
TEST(WavFile, HeaderCountsTheWholeFramesWritten) {
    const std::string path = ::testing::TempDir() + "host_options_test.wav";
    const std::vector<std::uint8_t> samples(4 * 10 + 3, 0x11); // 10 frames and a piece
    ASSERT_TRUE(driverhost::writeWav(path, {44100, 2, 2}, samples));
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    std::remove(path.c_str());
    ASSERT_EQ(bytes.size(), 44u + 40u);
    const auto word = [&bytes](std::size_t at) {
        return std::uint32_t{bytes[at]} | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
               std::uint32_t{bytes[at + 3]} << 24;
    };
    EXPECT_EQ(word(4), 36u + 40u);    // RIFF size
    EXPECT_EQ(word(24), 44100u);      // rate
    EXPECT_EQ(word(28), 44100u * 4u); // bytes a second
    EXPECT_EQ(word(40), 40u);         // data size
    EXPECT_FALSE(driverhost::writeWav("/nonexistent-dir/x.wav", {48000, 2, 2}, samples));
}

// More than two channels, or valid bits short of the container, take the
// extensible header: its tag, 22 bytes of extension, the valid bits, the
// channel mask and the PCM subformat; everything else keeps the plain one.
TEST(WavFile, WideOrPartlyValidSamplesTakeTheExtensibleHeader) {
    const std::vector<std::uint8_t> pcm = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                           0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const struct {
        driverhost::WavFormat format;
        bool extensible;
    } cases[] = {
        {{48000, 2, 2, 16, 0x3}, false}, {{48000, 1, 2, 0, 0x4}, false},
        {{44100, 2, 3, 24, 0x3}, false}, {{96000, 2, 4, 32, 0x3}, false},
        {{96000, 2, 4, 24, 0x3}, true},  {{48000, 1, 4, 24, 0x4}, true},
        {{48000, 6, 2, 16, 0x3F}, true}, {{48000, 8, 2, 16, 0x63F}, true},
    };
    const std::string path = ::testing::TempDir() + "host_options_extensible.wav";
    for (const auto& c : cases) {
        const driverhost::WavFormat& f = c.format;
        SCOPED_TRACE(std::to_string(f.channels) + " channels, " + std::to_string(f.validBits) +
                     " in " + std::to_string(f.bytesPerSample * 8));
        const std::uint32_t block = std::uint32_t{f.channels} * f.bytesPerSample;
        std::vector<std::uint8_t> samples(block * 5);
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>(i);
        ASSERT_TRUE(driverhost::writeWav(path, f, samples));
        const std::optional<driverhost::testing::WavRead> wav = driverhost::testing::ReadWav(path);
        std::remove(path.c_str());
        ASSERT_TRUE(wav);
        EXPECT_EQ(wav->tag, c.extensible ? 0xFFFE : 1);
        EXPECT_EQ(wav->formatBytes, c.extensible ? 40u : 16u);
        EXPECT_EQ(wav->channels, f.channels);
        EXPECT_EQ(wav->rate, f.rate);
        EXPECT_EQ(wav->blockAlign, block);
        EXPECT_EQ(wav->bytesPerSecond, f.rate * block);
        EXPECT_EQ(wav->bitsPerSample, f.bytesPerSample * 8);
        EXPECT_EQ(wav->data, samples);
        if (!c.extensible) continue;
        EXPECT_EQ(wav->extensionBytes, 22u);
        EXPECT_EQ(wav->validBits, f.validBits);
        EXPECT_EQ(wav->channelMask, f.channelMask);
        EXPECT_EQ(wav->subformat, pcm);
    }
}

} // namespace
