#pragma once

// The full settings exchange with the headset's firmware: read every device
// setting into a profile's blocks, apply a profile's blocks to the device,
// and decide by time stamps which side is newer.
//
// Settings-block view of an option block: 0..3 the 0x01 values, 4..7 the LED
// type, 8 and 9 two values and 10..17 eight bytes (0x07/0x08), 18..38 colours
// 0 to 6, 39 the gaming mode, 40..42 the pointer speed, wheel and
// double-click codes. The matrix block's bytes 64..127 are the key bytes.

#include "panel/device_table.h"
#include "panel/hid_command_set.h"
#include "panel/pointer_settings.h"
#include "panel/profile_store.h"

#include <QString>

#include <mutex>

namespace panel {

class SettingsSync {
public:
    SettingsSync(DeviceTable& devices, HidCommandSet& hid, ProfileStore& profiles,
                 IPointerSettings& pointer)
        : m_devices(devices), m_hid(hid), m_profiles(profiles), m_pointer(pointer) {}

    // Every read must succeed before profile p's blocks change; false leaves
    // them as they were.
    bool readAllSettings(unsigned profile);
    // True when every command went out.
    bool applySettings(unsigned profile);
    bool saveProfileBlocks(unsigned profile) { return m_profiles.saveProfileBlocks(profile); }
    // Firmware or panel, whichever is newer, wins; then the current profile
    // is applied and both sides are stamped with the current time. Stops at
    // the first failed read, with nothing read into a profile or saved.
    bool autoSync();

    // Stamps the headset with the current time and stores the same time as
    // the panel's; false, nothing stored, when the stamp was not sent.
    bool stampTimeFlag();

    // "Ver -----" until a version has been read.
    QString versionText() const;

private:
    bool readAndSave(unsigned profile);

    DeviceTable& m_devices;
    HidCommandSet& m_hid;
    ProfileStore& m_profiles;
    IPointerSettings& m_pointer;
    mutable std::mutex m_mutex;
    QString m_versionText = "Ver -----";
};

} // namespace panel
