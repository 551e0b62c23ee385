// The topology nodes of an endpoint: breadth-first over source ids from the
// endpoint's terminal (capture) or from each output terminal that reaches
// it (render), every node found becoming one of the engine's; a mixer's
// sources are not followed, since a mixer joins several paths. The queue is
// a ring of 20 ids. An engine of exactly two nodes (a bare terminal to
// terminal path) gets a software mute between them.
#pragma once

#include "driver/usbstream/usb_stream_engine.h"

#include <cstdint>

class CUacDevice;

inline constexpr std::uint32_t CollectionQueueSize = 20;

kernel::NTSTATUS CollectUpstream(CUacDevice& device, CUsbStreamEngine& engine,
                                 std::uint32_t startNodeId);
// Render engines: STATUS_INVALID_PARAMETER when no output terminal with an
// endpoint type reaches the terminal node.
kernel::NTSTATUS CollectEngineNodes(CUacDevice& device, CUsbStreamEngine& engine,
                                    std::uint32_t terminalNodeId);
kernel::NTSTATUS FinishEngine(CUacDevice& device, CUsbStreamEngine& engine);
