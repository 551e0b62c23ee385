#pragma once

// Recording stand-ins for the driver-configuration client and the page.

#include "panel/driver_client.h"
#include "panel/page.h"

#include <QString>
#include <QVariantList>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace panel_test {

struct PageCall {
    QString function;
    QVariantList args;
};

class RecordingPage final : public panel::IPage {
public:
    void queueCall(const QString& function, const QVariantList& args) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back({function, args});
    }
    std::vector<PageCall> calls() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    std::vector<QString> functions() const {
        std::vector<QString> out;
        for (const auto& c : calls()) out.push_back(c.function);
        return out;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<PageCall> m_calls;
};

// Records every call as text ("setEncEnable 1"); reads leave `values` as the
// test set them. `onPollCycle` runs at each poll cycle's last driver read,
// with the cycle's number from 1.
class RecordingDriver final : public panel::IDriverClient {
public:
    void setConnectionTest(std::function<bool()> test) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connectionTest = std::move(test);
    }
    // What the owner handed over, asked now; false without one.
    bool askConnection() const {
        std::function<bool()> test;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            test = m_connectionTest;
        }
        return test && test();
    }
    bool hasConnectionTest() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<bool>(m_connectionTest);
    }
    void reload() override { note("reload"); }
    void createDeviceList() override {
        note("createDeviceList");
        if (buildsUntilReady > 0 && --buildsUntilReady == 0) ready = true;
    }
    bool isReady() const override { return ready; }
    void initDriver() override { note("initDriver"); }

    void readSpeakerVolume() override { note("readSpeakerVolume"); }
    void readSpeakerVolumeLR() override { note("readSpeakerVolumeLR"); }
    void readMicVolume() override { note("readMicVolume"); }
    void readSurround() override { note("readSurround"); }
    void readEnc() override { note("readEnc"); }
    void readVoiceClarity() override { note("readVoiceClarity"); }
    void readMagicVoice() override { note("readMagicVoice"); }
    void readEq() override {
        int cycle = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_calls.push_back("readEq");
            m_pollThreads.push_back(std::this_thread::get_id());
            cycle = ++m_cycles;
        }
        if (onPollCycle) onPollCycle(cycle);
    }
    panel::DriverValues values() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_values;
    }

    void setSpeakerVolumeAll(int a, int b, int c, int d) override {
        note("setSpeakerVolumeAll", {a, b, c, d});
    }
    void setMicVolumeAll(int a, int b, int c, int d) override {
        note("setMicVolumeAll", {a, b, c, d});
    }
    void setAaVolumeAll(int a, int b, int c, int d) override {
        note("setAaVolumeAll", {a, b, c, d});
    }
    void setEqAll(int enable, const std::array<int, 10>& bands) override {
        std::vector<int> args{enable};
        args.insert(args.end(), bands.begin(), bands.end());
        note("setEqAll", args);
    }
    void adjustVoiceClarity(int a, int b, int c) override { note("adjustVoiceClarity", {a, b, c}); }
    void adjustSurroundHeadphone(int a) override { note("adjustSurroundHeadphone", {a}); }
    void setEncEnable(int v) override { note("setEncEnable", {v}); }
    void setMagicVoice(int a, int b) override { note("setMagicVoice", {a, b}); }
    void setSpeakerMute(int v) override { note("setSpeakerMute", {v}); }
    void setSpeakerVolume(int a, int b, int c) override { note("setSpeakerVolume", {a, b, c}); }
    void setMicMute(int v) override { note("setMicMute", {v}); }
    void setMicVolume(int a, int b, int c) override { note("setMicVolume", {a, b, c}); }
    void setEqEnable(int v) override { note("setEqEnable", {v}); }
    void setEqSliders(const std::array<int, 10>& bands) override {
        note("setEqSliders", std::vector<int>(bands.begin(), bands.end()));
    }
    void setVoiceClarityEnable(int v) override { note("setVoiceClarityEnable", {v}); }
    void setVoiceClarityLevel(int v) override { note("setVoiceClarityLevel", {v}); }
    void setNoiseSuppressionLevel(int v) override { note("setNoiseSuppressionLevel", {v}); }
    void setMagicVoiceEnable(int v) override { note("setMagicVoiceEnable", {v}); }
    void setMagicVoiceSelection(int v) override { note("setMagicVoiceSelection", {v}); }

    void setValues(const panel::DriverValues& v) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_values = v;
    }
    std::vector<std::string> calls() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    std::vector<std::thread::id> pollThreads() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_pollThreads;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.clear();
    }

    std::function<void(int cycle)> onPollCycle;
    std::atomic<bool> ready{true};
    int buildsUntilReady = 0; // > 0: the list becomes ready at that build

private:
    void note(const std::string& name, const std::vector<int>& args = {}) {
        std::string text = name;
        for (int a : args) {
            text += ' '; // appended apart: gcc 12 at -O3 misreads " " + string as overlapping
            text += std::to_string(a);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(text);
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::vector<std::thread::id> m_pollThreads;
    int m_cycles = 0;
    panel::DriverValues m_values;
    std::function<bool()> m_connectionTest;
};

} // namespace panel_test
