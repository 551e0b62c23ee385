// The rate an asynchronous device asks for through its explicit feedback
// endpoint: each packet's value (10.14 frames a frame in 3 bytes at full
// speed, 16.16 frames a microframe in 4 bytes at high speed), corrected where
// the device's quantised values stand for exact rates, turned into frames a
// second and averaged over the packets near the nominal rate.
#pragma once

#include <cstdint>
#include <span>

// A packet's value as 16.16 frames a data packet, with the device's
// quantisation corrected. `packetBytes` is 3 (10.14) or 4 (16.16).
std::uint32_t FeedbackValue(std::span<const std::uint8_t> packet, std::uint32_t packetBytes);

// Frames a second of a 16.16 value: integer part and fraction multiplied
// separately, the fraction's share truncated.
std::uint32_t FeedbackRate(std::uint32_t value, std::uint32_t packetsPerMillisecond);

struct FeedbackShape {
    std::uint32_t packetBytes;           // 3 or 4
    std::uint32_t packetsPerMillisecond; // of the data endpoint
    std::uint32_t nominalRate;
    std::uint32_t millisecondsPerTransfer;
};

// The measured rate from the packets of one feedback transfer (each
// `lengths[i]` bytes long at offset i x packetBytes); false, and nothing
// measured, when no packet lies within 1000 Hz of the nominal rate. An
// average exactly 500 / milliseconds-per-transfer away from nominal has its
// difference doubled.
bool MeasureFeedbackRate(const FeedbackShape& shape, std::span<const std::uint8_t> buffer,
                         std::span<const std::uint32_t> lengths, std::uint32_t* measured);
