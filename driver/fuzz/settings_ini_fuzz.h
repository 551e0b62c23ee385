// Fuzz entry of the settings INI import: the bytes are the settings file of
// a headset, imported twice at its start. Whatever they hold, the import
// leaves no pool block and no file open, and the second start changes
// nothing. Aborts on a fault.
#pragma once

#include <cstddef>
#include <cstdint>

int FuzzSettingsIni(const std::uint8_t* pData, std::size_t cbData);
