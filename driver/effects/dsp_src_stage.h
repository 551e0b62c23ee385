// A conversion stage of the format adapter: per channel (always eight) two
// filter-state buffers, one for each direction, and an output buffer of 7680
// samples that Process fills from its position on. The direction is set
// before each Reset, which builds the filter states for it; a stage whose
// direction changed since its last Reset processes nothing.
//
// Stages are plain pool objects: the adapter allocates them at passive level
// and calls AllocateBuffers once; Reset and Process allocate nothing.
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/common/pool_buffer.h"
#include "driver/common/pool_object.h"

#include <cstdint>

struct sigFirState;

// The adapter, its stages and their channel conversion.
inline constexpr kernel::PoolTag DspStageTag = kernel::poolTag("DSPS");
// The stages' per-channel buffers.
inline constexpr kernel::PoolTag DspStageBufferTag = kernel::poolTag("SRCX");
inline constexpr kernel::PoolType DspStagePool = kernel::PoolType::NonPagedNx;

enum class SrcDirection : std::uint8_t { Down = 0, Up = 1 };

class CDspSrcStage : public CPoolObject {
public:
    static constexpr std::uint32_t Channels = MaxDspChannels;
    static constexpr std::uint32_t OutputCapacity = 7680;

    CDspSrcStage() = default;
    virtual ~CDspSrcStage() = default;
    CDspSrcStage(const CDspSrcStage&) = delete;
    CDspSrcStage& operator=(const CDspSrcStage&) = delete;

    // Bytes of a channel's filter-state buffer for the up (A) and the down
    // (B) direction; 0 means the stage cannot be allocated.
    virtual std::uint32_t SizeA() const { return 0; }
    virtual std::uint32_t SizeB() const { return 0; }
    // Converts up to *count samples of channel `channel` into its output
    // buffer; *count becomes the number consumed. False, with nothing
    // consumed, when the stage does not convert or cannot take the call.
    virtual bool Process(std::uint32_t channel, const float* input, std::uint32_t* count);
    // Back to the start of a stream in the current direction.
    virtual void Reset();

    // Buffers B, A and output for each channel in turn. False when they exist
    // already, when a size is 0 or on the first block the pool refuses; what
    // was taken stays until the stage is deleted.
    bool AllocateBuffers();
    void SetDirection(SrcDirection direction);

    SrcDirection GetDirection() const { return m_Direction; }
    bool IsAllocated() const { return m_bAllocated; }
    // What Process wrote to a channel's output so far (channel below 8).
    const float* GetOutput(std::uint32_t channel) const { return m_Outputs[channel].Get<float>(); }
    std::uint32_t GetOutputPosition(std::uint32_t channel) const {
        return m_OutputPositions[channel];
    }

protected:
    // Whether a Process call may run: the channel exists, the arguments are
    // there, the buffers exist and the states match the direction.
    bool CanProcess(std::uint32_t channel, const float* input, const std::uint32_t* count) const;
    static bool Refuse(std::uint32_t* count);
    void ResetPositions();
    // Whether the states are built for the current direction; never before
    // the buffers exist.
    void MarkReady(bool ready) { m_bReady = ready && m_bAllocated; }
    float* OutputAt(std::uint32_t channel) const {
        return m_Outputs[channel].Get<float>() + m_OutputPositions[channel];
    }
    std::uint32_t OutputSpace(std::uint32_t channel) const {
        return m_OutputCapacity - m_OutputPositions[channel];
    }
    // The buffer a channel's state is built in for the current direction.
    unsigned char* StateBuffer(std::uint32_t channel) const;

    CPoolBuffer m_BuffersA[Channels];
    CPoolBuffer m_BuffersB[Channels];
    sigFirState* m_FilterStates[Channels] = {};
    CPoolBuffer m_Outputs[Channels];
    std::uint32_t m_OutputPositions[Channels] = {};
    std::uint32_t m_OutputCapacity = 0;
    SrcDirection m_Direction = SrcDirection::Down;
    bool m_bAllocated = false;

private:
    bool m_bReady = false;
};
