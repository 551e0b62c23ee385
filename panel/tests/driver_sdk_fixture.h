#pragma once

// The driver-configuration client on the library stand-in. The library is
// loaded from the test program's folder, as the program loads it from its
// own; the test drives the same loaded copy through its control API. The
// client's debug lines, its pauses and its message boxes are recorded.

#include "panel/driver_sdk.h"
#include "panel/tests/debug_lines.h"
#include "panel/tests/zen_fixture.h"
#include "sim/mixcore/mixcore_sim.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QStringList>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace panel_test {

// The stand-in's control API, resolved from the loaded library.
class MixcoreControl {
public:
    explicit MixcoreControl(const QString& folder) : m_library(folder + "/Mixcore") {
        if (!m_library.load()) ADD_FAILURE() << m_library.errorString().toStdString();
        resolve("MixcoreSim_reset", reset);
        resolve("MixcoreSim_setCounts", setCounts);
        resolve("MixcoreSim_setDevice", setDevice);
        resolve("MixcoreSim_failNextCounts", failNextCounts);
        resolve("MixcoreSim_setInitResult", setInitResult);
        resolve("MixcoreSim_setText", setText);
        resolve("MixcoreSim_failName", failName);
        resolve("MixcoreSim_callLog", callLog);
        resolve("MixcoreSim_clearLog", clearLog);
    }

    decltype(&MixcoreSim_reset) reset = nullptr;
    decltype(&MixcoreSim_setCounts) setCounts = nullptr;
    decltype(&MixcoreSim_setDevice) setDevice = nullptr;
    decltype(&MixcoreSim_failNextCounts) failNextCounts = nullptr;
    decltype(&MixcoreSim_setInitResult) setInitResult = nullptr;
    decltype(&MixcoreSim_setText) setText = nullptr;
    decltype(&MixcoreSim_failName) failName = nullptr;
    decltype(&MixcoreSim_callLog) callLog = nullptr;
    decltype(&MixcoreSim_clearLog) clearLog = nullptr;

    std::vector<std::string> lines() const {
        std::string text(callLog(nullptr, 0) + 1, '\0');
        callLog(text.data(), text.size());
        std::vector<std::string> out;
        std::istringstream in(text.c_str());
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    // The property calls alone: they begin with the device's word 0.
    std::vector<std::string> propertyCalls() const {
        std::vector<std::string> out;
        for (const auto& line : lines())
            if (line.rfind("0x", 0) == 0) out.push_back(line);
        return out;
    }
    std::size_t count(const std::string& prefix) const {
        std::size_t n = 0;
        for (const auto& line : lines()) n += line.rfind(prefix, 0) == 0;
        return n;
    }
    // A text for a property without selector, or with one selector word.
    void text(std::uint32_t word0, const char* name, const std::string& value) const {
        setText(word0, name, nullptr, 0, value.c_str());
    }
    void text(std::uint32_t word0, const char* name, std::int32_t word,
              const std::string& value) const {
        setText(word0, name, &word, 1, value.c_str());
    }

private:
    template <typename Fn> void resolve(const char* name, Fn& entry) {
        entry = reinterpret_cast<Fn>(m_library.resolve(name));
        if (!entry) ADD_FAILURE() << "libMixcore.so lacks " << name;
    }

    QLibrary m_library;
};

inline QString programFolder() {
    static int argc = 1;
    static char name[] = "panel_driver_sdk_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
    return QCoreApplication::applicationDirPath();
}

class DriverSdkOnMixcore : public ::testing::Test {
protected:
    static constexpr std::uint32_t kRender = 0x100;
    static constexpr std::uint32_t kCapture = 0x200;

    void SetUp() override {
        mixcore.reset();
        sdk = makeClient(programFolder());
    }

    std::unique_ptr<panel::DriverSdk> makeClient(const QString& folder) {
        auto client = std::make_unique<panel::DriverSdk>(folder, sleeper, messages);
        client->setConnectionTest([this] { return headset.load(); });
        return client;
    }

    // Loaded, initialised and with both devices chosen; the logs start empty.
    void ready() {
        sdk->reload();
        sdk->initDriver();
        mixcore.clearLog();
        debug.clear();
    }

    RecordingSleeper sleeper;
    RecordingMessages messages;
    std::atomic<bool> headset{true};
    MixcoreControl mixcore{programFolder()};
    DebugLines debug;
    std::unique_ptr<panel::DriverSdk> sdk;
};

} // namespace panel_test
