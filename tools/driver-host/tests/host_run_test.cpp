// Whole runs of the host in lockstep: what reaches the device is the signal
// after the measured delay, the statistics are the stream's, the system root
// carries the driver's INI file and the registry from run to run, and what
// cannot run says so.
#include "platform/io/registry.h"
#include "platform/io/registry_text.h"
#include "platform/kernel/debug_print.h"
#include "sim/usb/fixtures.h"
#include "testkit/temp_folder.h"
#include "tools/driver-host/host_run.h"
#include "tools/driver-host/signal_source.h"
#include "tools/driver-host/system_file_refusals.h"
#include "tools/driver-host/tests/wav_reading.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/stat.h>
#include <vector>

namespace {

using driverhost::Options;
using driverhost::RunResult;
using driverhost::Signal;

Options Lockstep(bool uac2, Signal signal, double seconds = 0.25) {
    Options options;
    options.device = uac2 ? "uac2" : "uac1";
    options.signal = signal;
    options.seconds = seconds;
    options.lockstep = true;
    return options;
}

struct RunCase {
    const char* name;
    bool uac2;
    Signal signal;
    std::uint32_t feedbackRate;
};

// The device received the signal itself, frame for frame, after the delay
// the host reports; the limiter holds 256 frames of it back.
TEST(HostRun, TheDeviceGetsTheSignalAfterTheReportedDelay) {
    const RunCase cases[] = {
        {"release 1, ramp", false, Signal::ramp, 0},
        {"release 2 with feedback, sweep", true, Signal::sweep, 48000},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        const io::Registry registry;
        const testkit::TempFolder folder;
        Options options = Lockstep(c.uac2, c.signal);
        options.out = (folder.path() / "out.wav").string();
        options.captureOut = (folder.path() / "capture.wav").string();
        const RunResult result = driverhost::runDriverHost(options);
        ASSERT_EQ(result.status, kernel::STATUS_SUCCESS) << result.failure;
        EXPECT_EQ(result.poolBlocksLeft, 0u);
        EXPECT_EQ(result.underruns, 0u);
        EXPECT_EQ(result.gaps, 0u);
        EXPECT_FALSE(result.lostFrames());
        EXPECT_EQ(result.fullScaleSamples, 0u);
        EXPECT_EQ(result.limiterDelayFrames(), 256);
        EXPECT_EQ(result.inFlightFrames, 720); // three 5 ms transfers
        EXPECT_EQ(result.feedbackRate, c.feedbackRate);
        EXPECT_NEAR(static_cast<double>(result.transfers), 50, 3);
        EXPECT_EQ(result.packets, result.transfers * (c.uac2 ? 40 : 5));
        EXPECT_GT(result.cpuMsPerAudioSecond, 0);

        const std::vector<std::uint8_t> wav = driverhost::testing::ReadFile(options.out);
        ASSERT_EQ(wav.size(), 44 + result.frames * 4);
        const auto frames = static_cast<std::uint32_t>(result.frames - result.delayFrames);
        ASSERT_GT(frames, 10000u);
        std::vector<std::uint8_t> expected(std::size_t{frames} * 4);
        driverhost::SignalSource(options).fill(expected.data(), frames);
        const auto start = wav.begin() + 44 + result.delayFrames * 4;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), start));
        EXPECT_TRUE(std::all_of(wav.begin() + 44, start, [](std::uint8_t b) { return b == 0; }));

        // The microphone's frames count on without a gap, from where its stream began.
        const std::vector<std::uint8_t> capture = driverhost::testing::ReadFile(options.captureOut);
        ASSERT_EQ(capture.size(), 44 + result.capturedFrames * 2);
        ASSERT_GT(result.capturedFrames, 10000u);
        for (std::size_t f = 1; f < result.capturedFrames; ++f) {
            const auto sample = [&capture](std::size_t i) {
                return static_cast<std::uint16_t>(capture[44 + 2 * i] | capture[45 + 2 * i] << 8);
            };
            ASSERT_EQ(static_cast<std::uint16_t>(sample(f) - sample(f - 1)), 1u) << "frame " << f;
        }
    }
}

// Through the ASIO rings the device gets the same signal, frame for frame,
// and every transfer of the waking ring woke the client once.
TEST(HostRun, AsioPlaysTheSignalThroughTheRings) {
    for (const bool uac2 : {false, true}) {
        SCOPED_TRACE(uac2 ? "release 2" : "release 1");
        const io::Registry registry;
        const testkit::TempFolder folder;
        Options options = Lockstep(uac2, Signal::ramp);
        options.asio = true;
        options.out = (folder.path() / "out.wav").string();
        options.captureOut = (folder.path() / "capture.wav").string();
        const RunResult result = driverhost::runDriverHost(options);
        ASSERT_EQ(result.status, kernel::STATUS_SUCCESS) << result.failure;
        EXPECT_EQ(result.poolBlocksLeft, 0u);
        EXPECT_EQ(result.asioRingUnderruns, 0u);
        // The driver's preferred buffer moves in transfers of 5 ms: one wake each.
        EXPECT_GE(result.asioEvents, 45u);
        EXPECT_EQ(result.asioCompletions, result.asioEvents);
        EXPECT_EQ(result.notifications, 0u); // no wave pin ran
        EXPECT_GT(result.capturedFrames, 10000u);
        const std::vector<std::uint8_t> wav = driverhost::testing::ReadFile(options.out);
        ASSERT_EQ(wav.size(), 44 + result.frames * 4);
        ASSERT_GE(result.delayFrames, 0);
        const auto frames = static_cast<std::uint32_t>(result.frames - result.delayFrames);
        ASSERT_GT(frames, 10000u);
        std::vector<std::uint8_t> expected(std::size_t{frames} * 4);
        driverhost::SignalSource(options).fill(expected.data(), frames);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                               wav.begin() + 44 + result.delayFrames * 4));
    }
}

// The INI file in the system root reaches the driver's settings, and the
// registry file keeps them, with what an earlier run left, for the next run.
TEST(HostRun, SystemRootCarriesTheIniFileAndTheRegistryFromRunToRun) {
    const testkit::TempFolder root;
    const usbsim::FunctionDescription headset = usbsim::fixtures::uac1Headset();
    char hardwareId[64];
    std::snprintf(hardwareId, sizeof hardwareId, "USB\\VID_%04X&PID_%04X&REV_%04X",
                  headset.vendorId, headset.productId, headset.deviceRelease);
    root.write("ZOVRAQ7K2X1.INI", std::string("[VERSION]\r\nVersion = 7\r\n[HALVEX]\r\n") +
                                      hardwareId + " = HOST\r\n[HOST]\r\nHostMark = 0x5A\r\n");
    root.write("registry.txt", "\\Registry\n\\Registry\\Machine\n\\Registry\\Machine\\Earlier\n"
                               "  \"Kept\" binary 2A\nend\n");
    Options options = Lockstep(false, Signal::sine, 0.05);
    options.systemRoot = root.path().string();
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        const io::Registry registry; // each run starts as a program does, from the file
        const RunResult result = driverhost::runDriverHost(options);
        ASSERT_EQ(result.status, kernel::STATUS_SUCCESS) << result.failure;
        const std::string kept = root.read("registry.txt");
        EXPECT_NE(kept.find("\"Kept\" binary 2A\n"), std::string::npos) << kept;
        EXPECT_NE(kept.find("\"HostMark\" binary 5A\n"), std::string::npos) << kept;
        EXPECT_NE(kept.find("\"IniVersion\""), std::string::npos) << kept;
    }
}

// A file of the system root the driver refuses is named with its reason,
// one line each, from the debug prints whether or not they are shown; the
// rest of them stays out of those lines.
TEST(HostRun, TheDriversRefusalsOfSystemFilesAreNamed) {
    const struct {
        const char* name;
        std::function<void(const testkit::TempFolder&)> make;
        std::string line;
    } cases[] = {
        {"an INI file over 1 MiB",
         [](const testkit::TempFolder& root) {
             root.write("ZOVRAQ7K2X1.INI", std::string(1024 * 1024 + 1, ';'));
         },
         "refused \\SystemRoot\\ZOVRAQ7K2X1.INI: larger than 1048576 bytes; nothing is "
         "imported"},
        {"a FIFO",
         [](const testkit::TempFolder& root) {
             ASSERT_EQ(::mkfifo((root.path() / "ZOVRAQ7K2X1.INI").c_str(), 0644), 0);
         },
         "refused \\SystemRoot\\ZOVRAQ7K2X1.INI: "},
        {"a link out of the root",
         [](const testkit::TempFolder& root) {
             const std::filesystem::path outside =
                 root.path().parent_path() / (root.path().filename().string() + ".ini");
             std::ofstream(outside) << "[VERSION]\r\n";
             std::filesystem::create_symlink(outside, root.path() / "ZOVRAQ7K2X1.INI");
         },
         "refused \\SystemRoot\\ZOVRAQ7K2X1.INI: a link leading outside "},
        {"nothing to refuse", [](const testkit::TempFolder&) {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const testkit::TempFolder root;
        ASSERT_NO_FATAL_FAILURE(c.make(root));
        Options options = Lockstep(false, Signal::sine, 0.05);
        options.systemRoot = root.path().string();
        const io::Registry registry;
        kernel::clearDebugLog();
        const RunResult result = driverhost::runDriverHost(options);
        EXPECT_EQ(result.status, kernel::STATUS_SUCCESS) << result.failure;
        const std::vector<std::string> lines = driverhost::RefusedSystemFiles(kernel::debugLog());
        std::filesystem::remove(root.path().parent_path() /
                                (root.path().filename().string() + ".ini"));
        if (c.line.empty()) {
            EXPECT_TRUE(lines.empty()) << lines.front();
            continue;
        }
        ASSERT_EQ(lines.size(), 1u) << (lines.empty() ? "none" : lines.back());
        EXPECT_EQ(lines[0].rfind(c.line, 0), 0u) << lines[0];
        EXPECT_EQ(lines[0].find('\n'), std::string::npos);
    }
}

TEST(HostRun, RefusesWhatCannotRunAndSaysWhat) {
    const testkit::TempFolder root;
    root.write("registry.txt", "\\Registry\n\"cut short");
    const struct {
        const char* name;
        Options options;
        kernel::NTSTATUS status;
        std::string failure;
    } cases[] = {
        {"a format the device does not carry",
         [] {
             Options o = Lockstep(false, Signal::sine);
             o.bits = 32;
             return o;
         }(),
         kernel::STATUS_NOT_SUPPORTED,
         "the uac1 device does not play 48000 Hz, 2 channels, 32 bits; its render pin plays:\n"
         "  2 channels, 16 bits: 44100, 48000 Hz\n"
         "  2 channels, 24 bits: 44100, 48000 Hz"},
        {"ASIO on a device that serves none",
         [] {
             Options o = Lockstep(false, Signal::sine);
             o.device = "k7d2";
             o.asio = true;
             return o;
         }(),
         kernel::STATUS_NOT_SUPPORTED,
         "the k7d2 device serves no ASIO; these do: uac1-asio, uac2-asio"},
        {"an output file in a folder that is not there",
         [&root] {
             Options o = Lockstep(false, Signal::sine);
             o.out = (root.path() / "missing" / "out.wav").string();
             return o;
         }(),
         kernel::STATUS_UNSUCCESSFUL,
         "cannot write " + (root.path() / "missing" / "out.wav").string() +
             " (No such file or directory)"},
        {"a capture file that is a folder",
         [&root] {
             Options o = Lockstep(false, Signal::sine);
             o.captureOut = root.path().string();
             return o;
         }(),
         kernel::STATUS_UNSUCCESSFUL, "cannot write " + root.path().string() + " (it is a folder)"},
        {"two outputs that name one file",
         [&root] {
             Options o = Lockstep(false, Signal::sine);
             o.out = (root.path() / "one.wav").string();
             o.captureOut = (root.path() / "." / "one.wav").string();
             return o;
         }(),
         kernel::STATUS_INVALID_PARAMETER,
         "--out " + (root.path() / "one.wav").string() + " and --capture-out " +
             (root.path() / "." / "one.wav").string() +
             " name one file: one would be written over the other"},
        {"the registry's file as the output",
         [&root] {
             Options o = Lockstep(false, Signal::sine);
             o.out = (root.path() / "registry.txt").string();
             o.systemRoot = root.path().string();
             return o;
         }(),
         kernel::STATUS_INVALID_PARAMETER,
         "--out " + (root.path() / "registry.txt").string() +
             " and the registry file of --system-root " + root.path().string() +
             " name one file: one would be written over the other"},
        {"a system root that is no folder",
         [&root] {
             Options o = Lockstep(false, Signal::sine);
             o.systemRoot = (root.path() / "missing").string();
             return o;
         }(),
         kernel::STATUS_OBJECT_PATH_NOT_FOUND,
         "using the system root " + (root.path() / "missing").string() + " (no such folder)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const io::Registry registry;
        const RunResult result = driverhost::runDriverHost(c.options);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.failure, c.failure);
        EXPECT_EQ(result.poolBlocksLeft, 0u);
        EXPECT_EQ(result.threadsLeft, 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(root.path() / "one.wav")); // refused before the run
    // A damaged registry file is set aside whole, not overwritten.
    const io::Registry registry;
    Options options = Lockstep(false, Signal::sine);
    options.systemRoot = root.path().string();
    const RunResult result = driverhost::runDriverHost(options);
    EXPECT_EQ(result.status, kernel::STATUS_FILE_CORRUPT_ERROR);
    EXPECT_EQ(result.failure.rfind("loading the registry (", 0), 0u) << result.failure;
    EXPECT_EQ(root.read("registry.txt.damaged"), "\\Registry\n\"cut short");
}

} // namespace
