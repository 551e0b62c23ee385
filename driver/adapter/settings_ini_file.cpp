#include "driver/adapter/settings_ini_file.h"

#include "driver/common/settings_store.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/unicode_string.h"

#include <cstring>

namespace {

constexpr char16_t SYSTEM_ROOT[] = u"\\SystemRoot\\";
constexpr std::size_t SYSTEM_ROOT_CHARS = sizeof SYSTEM_ROOT / sizeof(char16_t) - 1;
// The line and CR LF.
constexpr std::size_t LINE_BUFFER_BYTES = INI_MAX_LINE_BYTES + 2;

} // namespace

CSettingsIniFile::CSettingsIniFile(io::DeviceObject* pDeviceObject)
    : m_pDeviceObject(pDeviceObject) {}

CSettingsIniFile::~CSettingsIniFile() { Close(); }

kernel::NTSTATUS CSettingsIniFile::Prepare() {
    m_LineBuffer = CPoolBuffer(kernel::PoolType::Paged, LINE_BUFFER_BYTES, INI_BUFFER_TAG);
    if (!m_LineBuffer.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::memset(m_LineBuffer.Get(), 0, LINE_BUFFER_BYTES);
    const kernel::NTSTATUS status = ReadHardwareId();
    if (!kernel::succeeded(status)) return status;
    BuildPath();
    return status;
}

kernel::NTSTATUS CSettingsIniFile::ReadHardwareId() {
    const CPoolBuffer property(kernel::PoolType::Paged, INI_HARDWARE_ID_PROPERTY_BYTES,
                               INI_BUFFER_TAG);
    if (!property.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::uint32_t ulBytes = 0;
    const kernel::NTSTATUS status =
        io::getDeviceProperty(m_pDeviceObject, io::DeviceProperty::HardwareIds,
                              INI_HARDWARE_ID_PROPERTY_BYTES, property.Get(), &ulBytes);
    if (!kernel::succeeded(status)) return status;

    const auto* pIds = property.Get<const char16_t>();
    const std::size_t idChars = ulBytes / 2;
    std::size_t length = 0;
    while (length < idChars && pIds[length] != u'\0') ++length;
    if (length == 0) return kernel::STATUS_INVALID_PARAMETER;
    if (length > INI_MAX_HARDWARE_ID_CHARS) {
        kernel::debugPrint("INI: hardware id longer than %d characters\n",
                           static_cast<int>(INI_MAX_HARDWARE_ID_CHARS));
        return kernel::STATUS_BUFFER_OVERFLOW;
    }
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t c = kernel::upcaseChar(pIds[i]);
        if (c <= 0x20 || c >= 0x7F) return kernel::STATUS_INVALID_PARAMETER;
        m_szHardwareId[i] = static_cast<char>(c);
    }
    m_szHardwareId[length] = '\0';
    return kernel::STATUS_SUCCESS;
}

// The name is the default unless "ModuleName" holds one: exactly its
// characters (up to a zero, when it has one), never a remainder of the
// default behind a shorter name.
void CSettingsIniFile::BuildPath() {
    char16_t szName[INI_MODULE_NAME_BYTES / 2 + 1] = {};
    std::uint32_t ulBytes = 0;
    const kernel::NTSTATUS status =
        AccessSettingEx(m_pDeviceObject, SETTING_READ, szName, INI_MODULE_NAME_BYTES, u"ModuleName",
                        nullptr, io::REG_BINARY, &ulBytes);
    if (!kernel::succeeded(status) || ulBytes % 2 != 0 || szName[0] == u'\0') {
        std::memcpy(szName, INI_DEFAULT_FILE_NAME, sizeof INI_DEFAULT_FILE_NAME);
    } else {
        szName[ulBytes / 2] = u'\0';
    }
    std::memcpy(m_szPath, SYSTEM_ROOT, SYSTEM_ROOT_CHARS * sizeof(char16_t));
    std::size_t i = 0;
    for (; szName[i] != u'\0'; ++i) m_szPath[SYSTEM_ROOT_CHARS + i] = szName[i];
    m_szPath[SYSTEM_ROOT_CHARS + i] = u'\0';
}

kernel::NTSTATUS CSettingsIniFile::Open() {
    m_FileOffset = 0;
    m_ulLineNumber = 0;
    kernel::NTSTATUS status = io::openFile(m_File, kernel::makeUnicodeString(m_szPath));
    if (!kernel::succeeded(status)) return status;
    std::int64_t size = 0;
    status = io::queryFileSize(m_File, &size);
    if (kernel::succeeded(status) && size > static_cast<std::int64_t>(INI_MAX_FILE_BYTES)) {
        kernel::debugPrint("INI: %s is larger than %u bytes; nothing is imported\n", m_szPath,
                           INI_MAX_FILE_BYTES);
        status = kernel::STATUS_FILE_TOO_LARGE;
    }
    if (!kernel::succeeded(status)) Close();
    return status;
}

void CSettingsIniFile::Close() { m_File.close(); }

bool CSettingsIniFile::ReadByte(char* pByte) {
    if (m_FileOffset >= m_ulReadLimit) return false;
    return kernel::succeeded(io::readFile(m_File, pByte, 1, m_FileOffset, &m_IoStatus)) &&
           m_IoStatus.information == 1;
}

std::int32_t CSettingsIniFile::ReadLine() {
    char* pLine = m_LineBuffer.Get<char>();
    if (pLine == nullptr) return -1;
    for (;;) {
        ++m_ulLineNumber;
        std::size_t count = 0; // bytes of the line, counted on past the longest
        bool bEnd = false;
        for (;;) {
            char byte = 0;
            if (!ReadByte(&byte)) {
                bEnd = true;
                break;
            }
            if (byte == '\r') break;
            if (count < INI_MAX_LINE_BYTES) pLine[count] = byte;
            ++count;
            ++m_FileOffset;
        }
        if (bEnd && count == 0) return -1;
        if (!bEnd) m_FileOffset += 2; // past the CR and the LF taken to follow it
        if (count <= INI_MAX_LINE_BYTES) {
            pLine[count] = '\r';
            pLine[count + 1] = '\n';
            return static_cast<std::int32_t>(count);
        }
        kernel::debugPrint("INI: %s line %u is longer than %u bytes; it is passed over\n", m_szPath,
                           m_ulLineNumber, static_cast<std::uint32_t>(INI_MAX_LINE_BYTES));
    }
}

kernel::NTSTATUS CSettingsIniFile::FindSection(const char* pszName) {
    if (!m_File.isOpen()) return kernel::STATUS_UNSUCCESSFUL;
    for (;;) {
        const std::int32_t lLength = ReadLine();
        if (lLength < 0) return kernel::STATUS_UNSUCCESSFUL;
        if (IsIniSectionHeader(GetLine(), static_cast<std::size_t>(lLength), pszName))
            return kernel::STATUS_SUCCESS;
    }
}

std::uint32_t CSettingsIniFile::GetVersion() {
    if (!kernel::succeeded(Open())) return 0;
    std::uint32_t ulVersion = 0;
    if (kernel::succeeded(FindSection("VERSION"))) {
        CIniValueLine value;
        for (;;) {
            const std::int32_t lLength = ReadLine();
            if (lLength < 0 || IsHeaderLine(lLength)) break;
            if (ParseIniValueLine(GetLine(), static_cast<std::size_t>(lLength), true, value)) {
                ulVersion = value.ulFirstValue;
                break;
            }
            if (value.bNumberTooLarge) {
                kernel::debugPrint("INI: %s line %u: the version does not fit 32 bits; nothing "
                                   "is imported\n",
                                   m_szPath, m_ulLineNumber);
                break;
            }
        }
    }
    Close();
    return ulVersion;
}

kernel::NTSTATUS CSettingsIniFile::OpenAndLookup() {
    const kernel::NTSTATUS status = Open();
    if (!kernel::succeeded(status)) return status;
    if (kernel::succeeded(FindSection("HALVEX"))) {
        for (;;) {
            const std::int32_t lLength = ReadLine();
            if (lLength < 0 || IsHeaderLine(lLength)) break;
            if (ParseIniMappingLine(GetLine(), static_cast<std::size_t>(lLength), m_szHardwareId,
                                    m_szSectionName))
                return kernel::STATUS_SUCCESS;
        }
    }
    Close();
    return kernel::STATUS_UNSUCCESSFUL;
}

kernel::NTSTATUS CSettingsIniFile::ImportAll() {
    std::int32_t lLength = 0;
    while (kernel::succeeded(ImportSection(&lLength))) {
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CSettingsIniFile::ImportSection(std::int32_t* plLength) {
    if (m_szSectionName[0] == '\0') return kernel::STATUS_UNSUCCESSFUL; // no mapping line found
    char16_t szSubkey[INI_MAX_SUBKEY_CHARS + 1];
    std::int32_t lLength = *plLength > 0 ? *plLength : ReadLine();
    while (lLength >= 0 && !MatchIniDeviceHeader(GetLine(), static_cast<std::size_t>(lLength),
                                                 m_szSectionName, szSubkey))
        lLength = ReadLine();
    *plLength = lLength;
    if (lLength < 0) return kernel::STATUS_UNSUCCESSFUL;

    CIniValueLine value;
    for (;;) {
        lLength = ReadLine();
        if (lLength < 0 || IsHeaderLine(lLength)) break;
        if (!ParseIniValueLine(GetLine(), static_cast<std::size_t>(lLength), false, value)) {
            lLength = ReadLine(); // handed back: the next call looks at it first
            break;
        }
        // A value that cannot be written does not stop the import.
        AccessSettingEx(m_pDeviceObject, SETTING_WRITE, value.Data, value.ulDataLength, value.szKey,
                        szSubkey[0] != u'\0' ? szSubkey : nullptr,
                        value.bText ? io::REG_SZ : io::REG_BINARY);
    }
    *plLength = lLength;
    return kernel::STATUS_SUCCESS;
}
