#pragma once

// Control side of the simulated HID world behind the hidapi functions: tests
// plug simulated devices in and out, push input, arm faults, and read back the
// log of every report and the headset's stored state. Every call is
// thread-safe; the hidapi functions and these calls share one lock.

#include "sim/hid/headset_state.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hidsim {

// One HID top-level collection of a device, with its report lengths counted
// as the host sees them: the report-id byte is included, and is 0 on
// interfaces whose reports carry no id.
struct InterfaceDesc {
    int number = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint8_t reportId = 0; // 0: unnumbered reports
    std::uint16_t featureLength = 0;
    std::uint16_t inputLength = 0;
    std::uint16_t outputLength = 0;
    bool speaksCommandSet = false; // output and feature reports reach the headset firmware
};

struct DeviceDesc {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t releaseNumber = 0;
    std::wstring serialNumber;
    std::wstring manufacturer;
    std::wstring product;
    std::vector<InterfaceDesc> interfaces; // in enumeration order
};

// The headset: the button interface (page 0xFF01, usage 1, 16-byte input
// reports with id 1), then the main interface (page 0x000C, usage 1, report
// id 0xFF: feature 9, input 65, output 65) that speaks the command set.
DeviceDesc headsetDescription();
constexpr std::size_t kButtonInterface = 0;
constexpr std::size_t kMainInterface = 1;

using DeviceId = int;

enum class Op { Write, SetFeature, GetFeature, Read, Delay };

struct LogEntry {
    std::uint64_t atMs = 0; // the simulated clock when the entry was made
    Op op = Op::Write;
    DeviceId device = -1; // -1 for delays
    int interfaceNumber = -1;
    std::vector<std::uint8_t> bytes; // as passed to or returned by hidapi, report id first
    int result = 0;                  // hidapi's return value
    int durationMs = 0;              // read time-out (-1: blocking), or the delay
};

// Removes every device, clears the log, the faults and the clock. Handles
// still open fail every call afterwards.
void reset();

DeviceId addDevice(const DeviceDesc& desc, const HeadsetState& state = {});
DeviceId addHeadset(const HeadsetState& state = {});
// Arrival and removal. Handles open at a removal fail every call afterwards,
// also once the device is back, as a removed device node does.
void setPresent(DeviceId device, bool present);
std::string path(DeviceId device, std::size_t interfaceIndex);

// Queues one input report on an interface. `report` starts with the report id
// (0 on unnumbered interfaces); hidapi hands out unnumbered reports without it.
void pushInput(DeviceId device, std::size_t interfaceIndex, std::vector<std::uint8_t> report);
// A button press on the headset's button interface: report 1 with the code in byte 1.
void pressButton(DeviceId device, std::uint8_t code);
std::size_t pendingInput(DeviceId device, std::size_t interfaceIndex);
// Waits until every report queued on the interface has been read; false when
// that takes longer than a guard time that only keeps a broken test from hanging.
bool awaitInputTaken(DeviceId device, std::size_t interfaceIndex);

HeadsetState state(DeviceId device);
void setState(DeviceId device, const HeadsetState& state);

// Faults, per device.
void setOpenFails(DeviceId device, std::size_t interfaceIndex, bool fails);
void failWrite(DeviceId device, unsigned nth); // the nth write from now on fails, once; 0 disarms
void setFeatureGetFails(DeviceId device, bool fails);
// A device that sends nothing more: once its queued input is read, timed reads
// run out at once (the simulated clock advances by their time-out) and
// blocking reads wait until input is pushed or the device leaves.
void setNoInput(DeviceId device, bool silent);

std::vector<LogEntry> log();
void clearLog();
std::uint64_t nowMs();
int openHandles();
int openCount(); // opens that succeeded since the last reset
// hid_enumerate, hid_open and hid_open_path calls since the last reset that
// began while another of them was under way. Real hidapi frees and replaces
// one process-wide error text in each of them without a lock, so a caller must
// never overlap them.
int overlappingProcessWideCalls();

// The host's pauses: recorded in the log and added to the simulated clock, so
// pacing is observable without spending wall-clock time.
void sleepMs(unsigned ms);

// What the host's report-length query answers for a path.
std::optional<InterfaceDesc> describe(const std::string& path);

} // namespace hidsim
