// The reader of the settings INI file in the system folder: the factory
// settings of every headset model, which the adapter copies into the device's
// settings store when the file's version is newer than the one last
// imported. The file holds a section "VERSION" (its first value line gives
// the version), a section "HALVEX" mapping hardware ids to section names
// ("<hardware id> = <section>"), and the device sections; a header
// "[<section>]" puts its values directly under "Settings", a header
// "[<section>:<subkey>]" under that subkey. Lines end with CR LF (see
// settings_ini_line.h for the value lines). Passive level.
//
// What the reader refuses, each with a debug print naming the file and the
// reason: a file larger than INI_MAX_FILE_BYTES (not opened, so nothing is
// imported); a line longer than INI_MAX_LINE_BYTES (passed over whole, the
// next line is read as its own); a version that does not fit 32 bits (the
// file has no version, so nothing is imported). The system folder refuses
// whatever is not a regular file inside it.
#pragma once

#include "driver/adapter/settings_ini_line.h"
#include "driver/common/pool_buffer.h"
#include "driver/common/pool_object.h"
#include "platform/io/device_object.h"
#include "platform/io/io_status_block.h"
#include "platform/io/system_folder.h"
#include "platform/kernel/status.h"

#include <cstdint>

inline constexpr kernel::PoolTag INI_FILE_TAG = kernel::poolTag("PINI");
inline constexpr kernel::PoolTag INI_BUFFER_TAG = kernel::poolTag(" INI");

// The file's name in the system folder unless the setting "ModuleName" names another.
inline constexpr char16_t INI_DEFAULT_FILE_NAME[] = u"ZOVRAQ7K2X1.INI";
// Longest "ModuleName" in bytes.
inline constexpr std::size_t INI_MODULE_NAME_BYTES = 100;
// Longest hardware id the reader keeps; a longer one is refused, not cut.
inline constexpr std::size_t INI_MAX_HARDWARE_ID_CHARS = 99;
inline constexpr std::size_t INI_HARDWARE_ID_PROPERTY_BYTES = 1000;
// A line has at most this many bytes; a longer one is passed over.
inline constexpr std::size_t INI_MAX_LINE_BYTES = 4097;
// A larger file is not read; no byte beyond it is ever read.
inline constexpr std::uint32_t INI_MAX_FILE_BYTES = 1u << 20;

class CSettingsIniFile : public CPoolObject {
public:
    explicit CSettingsIniFile(io::DeviceObject* pDeviceObject);
    ~CSettingsIniFile();
    CSettingsIniFile(const CSettingsIniFile&) = delete;
    CSettingsIniFile& operator=(const CSettingsIniFile&) = delete;

    // Allocates the line buffer, reads the device's first hardware id (upper
    // case) and builds the path of the file. The property's status;
    // STATUS_INSUFFICIENT_RESOURCES without a buffer; STATUS_INVALID_PARAMETER
    // for an empty hardware id or one with a character outside printable
    // ASCII, STATUS_BUFFER_OVERFLOW for one over 99 characters.
    kernel::NTSTATUS Prepare();

    // From the start of the file. A file over INI_MAX_FILE_BYTES is not
    // opened: STATUS_FILE_TOO_LARGE.
    kernel::NTSTATUS Open();
    void Close();

    // The length of the next line without its CR LF, or -1 at the end of the
    // file. A line over INI_MAX_LINE_BYTES is passed over.
    std::int32_t ReadLine();
    // The line ReadLine returned last.
    const char* GetLine() const { return m_LineBuffer.Get<const char>(); }

    // Reads on to the line after "[" + name + "]"; STATUS_UNSUCCESSFUL at the
    // end of the file or when the file is not open.
    kernel::NTSTATUS FindSection(const char* pszName);

    // The file's version; 0 when there is no file, no section "VERSION", no
    // value line in it, or when its first value line holds a number that
    // does not fit 32 bits. The file is closed afterwards.
    std::uint32_t GetVersion();

    // Opens the file and finds the device's section name in "HALVEX"; the
    // file stays open just after the mapping line. STATUS_UNSUCCESSFUL (and
    // the file closed) when there is none.
    kernel::NTSTATUS OpenAndLookup();

    // Imports every later header of the device's section; 0.
    kernel::NTSTATUS ImportAll();

    // Imports the values of the next header of the device's section.
    // *plLength is the length of the line read last: above 0 that line is
    // looked at first. On return it holds the line that ended the section
    // (or -1 at the end). STATUS_UNSUCCESSFUL when no header follows.
    kernel::NTSTATUS ImportSection(std::int32_t* plLength);

    const char16_t* GetPath() const { return m_szPath; }
    const char* GetHardwareId() const { return m_szHardwareId; }
    const char* GetSectionName() const { return m_szSectionName; }

private:
    kernel::NTSTATUS ReadHardwareId();
    void BuildPath();
    bool ReadByte(char* pByte);
    bool IsHeaderLine(std::int32_t lLength) const { return lLength > 0 && GetLine()[0] == '['; }

    io::FileHandle m_File;
    io::IoStatusBlock m_IoStatus;
    std::int64_t m_FileOffset = 0;
    std::uint32_t m_ulReadLimit = INI_MAX_FILE_BYTES;
    std::uint32_t m_ulLineNumber = 0; // of the line read last, from 1
    io::DeviceObject* m_pDeviceObject;
    // "\SystemRoot\" and a name of up to INI_MODULE_NAME_BYTES.
    char16_t m_szPath[12 + INI_MODULE_NAME_BYTES / 2 + 1] = {};
    char m_szHardwareId[INI_MAX_HARDWARE_ID_CHARS + 1] = {};
    char m_szSectionName[INI_MAX_SECTION_CHARS + 1] = {};
    CPoolBuffer m_LineBuffer; // the line, then CR LF
};

// The settings import of the adapter's start: when the file's version is
// newer than the setting "IniVersion", imports the device's sections and
// then records the version. STATUS_INSUFFICIENT_RESOURCES when the reader
// cannot be made; success otherwise, whatever the file held.
kernel::NTSTATUS ImportSettingsIni(io::DeviceObject* pDeviceObject);
