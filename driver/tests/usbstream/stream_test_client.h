// A client of a stream engine as the tests run it: it registers on the
// engine, fills every outgoing packet with a ramp of frame numbers, keeps
// what arrives, and records every message it hears. Operations that wait for
// transfers run on a thread of their own while the test steps the frames.
#pragma once

#include "driver/usbstream/usb_stream_engine.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/object.h"
#include "platform/kernel/thread.h"
#include "sim/usb/frame_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

namespace usbstream_test {

struct HeardMessage {
    bool forMe; // the message names this client as the running one
    std::uintptr_t code;
    std::uintptr_t argument1;
    std::uintptr_t argument2;
};

class TestClient {
public:
    TestClient(CUsbStreamEngine* engine, std::uint32_t priority,
               const ks::WaveFormatExtensible& format, std::uint32_t valueA = 10,
               std::uint32_t valueB = 10)
        : m_pEngine(engine) {
        EXPECT_EQ(engine->RegisterClient(priority, &format, valueA, valueB, &Heard, this, &record),
                  kernel::STATUS_SUCCESS);
    }
    ~TestClient() {
        if (record != nullptr) m_pEngine->UnregisterClient(record->RegistrationHandle);
    }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    const void* Handle() const { return record->RegistrationHandle; }

    std::vector<HeardMessage> Messages() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Messages;
    }
    void ClearMessages() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Messages.clear();
    }
    std::vector<std::uint8_t> Captured() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Captured;
    }
    std::uint64_t FramesFilled() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_ulNextFrame;
    }

    UsbStreamClientRecord* record = nullptr;
    // Whether this client fills packets (only the running one should).
    bool fills = true;

private:
    static void Heard(void* context, void* argument, void*) {
        static_cast<TestClient*>(context)->Take(*static_cast<const StreamMessage*>(argument));
    }
    void Take(const StreamMessage& message) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        const bool forMe = message.Client == record;
        m_Messages.push_back({forMe, message.Code, message.Argument1, message.Argument2});
        if (!forMe) return;
        auto* bytes = reinterpret_cast<std::uint8_t*>(message.Argument1);
        const auto length = static_cast<std::uint32_t>(message.Argument2);
        if (message.Code == stream_message::fillPacket && fills) Fill(bytes, length);
        if (message.Code == stream_message::packetArrived)
            m_Captured.insert(m_Captured.end(), bytes, bytes + length);
    }
    // Every sample of a frame holds the frame's number (15 bits, so the
    // ramp stays below full scale), little-endian in its container.
    void Fill(std::uint8_t* bytes, std::uint32_t length) {
        const ks::WaveFormatEx& format = record->Format.Format;
        const std::uint32_t sampleBytes = format.wBitsPerSample / 8;
        for (std::uint32_t at = 0; at + format.nBlockAlign <= length; at += format.nBlockAlign) {
            const std::uint32_t value = static_cast<std::uint32_t>(m_ulNextFrame++ % 0x7FFF);
            for (std::uint32_t channel = 0; channel < format.nChannels; ++channel) {
                std::uint8_t* sample = bytes + at + channel * sampleBytes;
                std::memset(sample, 0, sampleBytes);
                // The value sits in the top 16 bits of the container.
                sample[sampleBytes - 2] = static_cast<std::uint8_t>(value);
                sample[sampleBytes - 1] = static_cast<std::uint8_t>(value >> 8);
            }
        }
    }

    CUsbStreamEngine* m_pEngine;
    std::mutex m_Mutex;
    std::vector<HeardMessage> m_Messages;
    std::vector<std::uint8_t> m_Captured;
    std::uint64_t m_ulNextFrame = 0;
};

// Runs `operation` on a system thread while the test steps frames, until it
// has returned.
inline void Drive(kernel::ManualClock& clock, std::function<void()> operation) {
    struct Job {
        std::function<void()> operation;
        std::atomic<bool> done = false;
    } job{std::move(operation)};
    kernel::ThreadObject* thread = nullptr;
    ASSERT_EQ(kernel::createSystemThread(
                  &thread,
                  [](void* context) {
                      auto* job = static_cast<Job*>(context);
                      job->operation();
                      job->done = true;
                  },
                  &job),
              kernel::STATUS_SUCCESS);
    clock.settle();
    for (int frames = 0; !job.done && frames < 5000; ++frames) usbsim::advanceFrames(clock, 1);
    kernel::waitForSingleObject(*thread, kernel::Timeout::infinite());
    kernel::dereferenceObject(*thread);
    EXPECT_TRUE(job.done);
}

} // namespace usbstream_test
