// A node of a stream's DSP chains. The stream engine calls Process once per
// block of at most 512 frames with the stream's running format: for integer
// PCM (the tag, or the extensible sub-format, is PCM) the data is an array of
// one float plane pointer per channel, at most eight; for any other format it
// is the interleaved buffer itself (frames x nBlockAlign bytes). A node works
// in place; a negative status stops the chain.
#pragma once

#include "driver/common/interface_ids.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"
#include "platform/ks/wave_format.h"

#include <cstdint>

inline constexpr std::uint32_t MaxDspBlockFrames = 512;
inline constexpr std::uint32_t MaxDspChannels = 8;

class IDspNode : public kernel::IUnknown {
public:
    // A parameter named by identifier, copied into or out of the caller's bytes.
    virtual kernel::NTSTATUS GetParameter(const kernel::Guid& id, void* value,
                                          std::uint32_t bytes) = 0;
    virtual kernel::NTSTATUS SetParameter(const kernel::Guid& id, const void* value,
                                          std::uint32_t bytes) = 0;
    virtual kernel::NTSTATUS SetFormat(const ks::WaveFormatExtensible* format) = 0;
    virtual kernel::NTSTATUS Reset() = 0;
    virtual kernel::NTSTATUS Process(const ks::WaveFormatExtensible* format, void* data,
                                     std::uint32_t frames) = 0;
    virtual kernel::NTSTATUS Flush() = 0;

protected:
    ~IDspNode() = default;
};

// What a node that keeps no parameters and nothing between blocks answers
// besides its processing: no parameters, and a format or a reset that
// changes nothing.
class CStatelessDspNode : public IDspNode {
public:
    kernel::NTSTATUS GetParameter(const kernel::Guid&, void*, std::uint32_t) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    kernel::NTSTATUS SetParameter(const kernel::Guid&, const void*, std::uint32_t) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    kernel::NTSTATUS SetFormat(const ks::WaveFormatExtensible*) override {
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS Reset() override { return kernel::STATUS_SUCCESS; }
    kernel::NTSTATUS Flush() override { return kernel::STATUS_SUCCESS; }

protected:
    ~CStatelessDspNode() = default;
};
