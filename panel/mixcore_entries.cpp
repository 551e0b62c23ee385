#include "panel/mixcore_entries.h"

namespace panel {

namespace {

template <typename Fn> void resolve(QLibrary& library, const char* name, Fn& entry) {
    entry = reinterpret_cast<Fn>(library.resolve(name));
}

} // namespace

MixcoreEntries resolveMixcoreEntries(QLibrary& library) {
    MixcoreEntries e;
    if (!library.isLoaded()) return e;
    resolve(library, "RGBI2CMode", e.RGBI2CMode);
    resolve(library, "InitializeSMB", e.InitializeSMB);
    resolve(library, "ShutdownSMB", e.ShutdownSMB);
    resolve(library, "SetPattern", e.SetPattern);
    resolve(library, "SetRGB", e.SetRGB);
    resolve(library, "OnTimerApp", e.OnTimerApp);
    resolve(library, "CheckSPD", e.CheckSPD);
    resolve(library, "SaveToMCU", e.SaveToMCU);
    resolve(library, "ConfLibInit", e.ConfLibInit);
    resolve(library, "GetDeviceById", e.GetDeviceById);
    resolve(library, "PropertyControl", e.PropertyControl);
    resolve(library, "RegisterCallbackFunction", e.RegisterCallbackFunction);
    resolve(library, "GetDeviceCount", e.GetDeviceCount);
    resolve(library, "CreateDeviceList", e.CreateDeviceList);
    resolve(library, "ConfLibUnInit", e.ConfLibUnInit);
    resolve(library, "ShowAsioPanel", e.ShowAsioPanel);
    resolve(library, "PlayTestSound", e.PlayTestSound);
    resolve(library, "StopTestSound", e.StopTestSound);
    resolve(library, "CloseTestSound", e.CloseTestSound);
    return e;
}

} // namespace panel
