// The walk over a function's AudioStreaming interfaces: one stream engine
// per interface, made when its AS_GENERAL descriptor names the terminal it
// links to, with one format per rate of every alternate setting, the
// topology nodes of its path and, for a bare path, a software mute. Then
// the nodes behind every terminal-type switch learn its selection.
#pragma once

#include "driver/usbstream/chip_registers.h"
#include "driver/usbstream/usb_stream_engine_create.h"
#include "platform/kernel/status.h"
#include "platform/usb/descriptors.h"

#include <cstdint>

class CUacDevice;

// What a model changes in the release-1 walk.
struct StreamingWalkRules {
    // The engine of a render interface.
    UsbStreamKind uac1Render = UsbStreamKind::uac1Render;
    // Render formats get this many channels whatever the descriptor says
    // (0: as it says); the engine reduces them for the device.
    std::uint32_t renderChannels = 0;
    // The chip registers a processing render engine tells each format.
    IChipRegisters* registers = nullptr;
};

// The configuration, its first AudioStreaming interface and the bytes from
// there to the end. A missing or foreign interface, a terminal link to
// anything but a terminal, a format without an engine or of another type:
// STATUS_INVALID_PARAMETER; the configuration's own faults as the
// descriptor table finds them.
kernel::NTSTATUS WalkStreamingInterfaces(CUacDevice& device,
                                         const usb::ConfigurationDescriptor* configuration,
                                         const usb::InterfaceDescriptor* interface,
                                         std::uint32_t length, StreamingWalkRules rules = {});
// The nodes on the single-source chain behind each terminal-type switch
// take its selection as their channel mode and follow it.
kernel::NTSTATUS LinkTerminalSwitches(CUacDevice& device);
