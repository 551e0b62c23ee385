#pragma once

// The driver-configuration library's entry points as the client calls them:
// 32-bit results, 0 for success; property names in UTF-16. A pointer is null
// when the library is missing or lacks the name.

#include <QLibrary>

#include <cstdint>

namespace panel {

struct MixcoreEntries {
    using NoArgs = std::int32_t (*)();
    using FourBytes = std::int32_t (*)(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t);
    using TwoBytes = std::int32_t (*)(std::uint8_t, std::uint8_t);
    using GetDeviceCountFn = std::int32_t (*)(std::int32_t flow, std::uint32_t* count);
    using GetDeviceByIdFn = std::int32_t (*)(std::int32_t flow, std::int32_t index,
                                             std::uint32_t info[4]);
    using PropertyControlFn = std::int32_t (*)(std::uint32_t, std::uint32_t, std::uint32_t,
                                               std::uint32_t, const char16_t* name, void** data,
                                               void** selector, std::int32_t direction);
    using RegisterCallbackFn = std::int32_t (*)(void* callback);

    FourBytes RGBI2CMode = nullptr;
    NoArgs InitializeSMB = nullptr;
    NoArgs ShutdownSMB = nullptr;
    TwoBytes SetPattern = nullptr;
    FourBytes SetRGB = nullptr;
    NoArgs OnTimerApp = nullptr;
    NoArgs CheckSPD = nullptr;
    NoArgs SaveToMCU = nullptr;
    NoArgs ConfLibInit = nullptr;
    GetDeviceByIdFn GetDeviceById = nullptr;
    PropertyControlFn PropertyControl = nullptr;
    RegisterCallbackFn RegisterCallbackFunction = nullptr;
    GetDeviceCountFn GetDeviceCount = nullptr;
    NoArgs CreateDeviceList = nullptr;
    NoArgs ConfLibUnInit = nullptr;
    NoArgs ShowAsioPanel = nullptr;
    NoArgs PlayTestSound = nullptr;
    NoArgs StopTestSound = nullptr;
    NoArgs CloseTestSound = nullptr;
};

// Looks the names up in the library's order; all null when it is not loaded.
MixcoreEntries resolveMixcoreEntries(QLibrary& library);

} // namespace panel
