#include "driver/adapter/settings_ini_file.h"
#include "driver/common/settings_store.h"
#include "driver/tests/settings_test_device.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kernel::NTSTATUS;

// The factory file of a device with two models; the headset's section comes
// in three parts, one of them under the subkey Mixer, one before the mapping.
constexpr char FACTORY_FILE[] = "; factory settings\r\n"
                                "[VERSION]\r\n"
                                "; the version is the first value line\r\n"
                                "Version = 3\r\n"
                                "[HEADSET]\r\n"
                                "Early = 0x01\r\n"
                                "[HALVEX]\r\n"
                                "USB\\VID_0B05&PID_17F3&REV_0100&MI_00 = OTHER\r\n"
                                "usb\\vid_0b05&pid_17f3&rev_0100\t=\tHEADSET ; this one\r\n"
                                "[OTHER]\r\n"
                                "Gain = 0x7F\r\n"
                                "[HEADSET]\r\n"
                                "Gain = 0x10 0x20\r\n"
                                "Delay = 300\r\n"
                                "PinName = Headset\r\n"
                                "\r\n"
                                "Lost = 0x01\r\n"
                                "[HEADSET:Mixer]\r\n"
                                "Bass = 0x05, 0x06 ; low end\r\n"
                                "  ; a comment ends the section too\r\n"
                                "LostToo = 0x01\r\n"
                                "[OTHER]\r\n"
                                "Treble = 0x09\r\n"
                                "[HEADSET]\r\n"
                                "Last = 0xAA";

const std::string IMPORTED = std::string(SETTINGS_PATH) +
                             "\n"
                             "  \"Gain\" binary 10 20\n"
                             "  \"Delay\" binary 2C 01 00 00\n"
                             "  \"PinName\" sz 48 00 65 00 61 00 64 00 73 00 65 00 74 00\n"
                             "  \"Last\" binary AA\n"
                             "  \"IniVersion\" binary 03 00 00 00\n" +
                             SETTINGS_PATH + "\\Mixer\n  \"Bass\" binary 05 06\n";

class SettingsIniTest : public SettingsTestDevice {
protected:
    void WriteFile(std::string_view text, const std::string& name = "ZOVRAQ7K2X1.INI") {
        m_Folder.write(name, text);
    }
    void Import() { ASSERT_EQ(ImportSettingsIni(m_pFunction), kernel::STATUS_SUCCESS); }

    void SetModuleName(const char16_t* name, std::uint32_t bytes) {
        ASSERT_EQ(AccessSettingEx(m_pFunction, SETTING_WRITE, const_cast<char16_t*>(name), bytes,
                                  u"ModuleName", nullptr, io::REG_SZ),
                  kernel::STATUS_SUCCESS);
    }

    std::u16string PreparedPath() {
        CSettingsIniFile reader(m_pFunction);
        EXPECT_EQ(reader.Prepare(), kernel::STATUS_SUCCESS);
        return reader.GetPath();
    }

    std::uint32_t Setting(const char16_t* name) {
        std::uint32_t ulValue = 0;
        AccessSetting(m_pFunction, SETTING_READ, &ulValue, sizeof ulValue, name);
        return ulValue;
    }
};

TEST_F(SettingsIniTest, ImportWritesTheDeviceSectionsAndTheVersion) {
    WriteFile(FACTORY_FILE);
    Import();
    EXPECT_EQ(DumpSettings(), IMPORTED);
    EXPECT_TRUE(io::openFilePaths().empty());
}

TEST_F(SettingsIniTest, TheSameVersionImportsNothingAndANewerOneImportsAgain) {
    WriteFile(FACTORY_FILE);
    Import();
    std::uint8_t changed = 0x55;
    ASSERT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, &changed, 1, u"Last"),
              kernel::STATUS_SUCCESS);
    Import();
    EXPECT_EQ(Setting(u"Last"), 0x55u);

    std::string newer = FACTORY_FILE;
    newer.replace(newer.find("Version = 3"), 11, "Version = 4");
    WriteFile(newer);
    Import();
    EXPECT_EQ(Setting(u"Last"), 0xAAu);
    EXPECT_EQ(Setting(u"IniVersion"), 4u);
}

TEST_F(SettingsIniTest, ModuleNameChoosesTheFileByExactlyItsCharacters) {
    WriteFile("[VERSION]\r\nv=1\r\n[HALVEX]\r\nUSB\\VID_0B05&PID_17F3&REV_0100=S\r\n"
              "[S]\r\nFrom=Default\r\n");
    WriteFile("[VERSION]\r\nv=1\r\n[HALVEX]\r\nUSB\\VID_0B05&PID_17F3&REV_0100=S\r\n"
              "[S]\r\nFrom=Other\r\n",
              "abc.ini");
    SetModuleName(u"ABC.INI", 14); // as the import stores text: no terminating zero
    EXPECT_EQ(PreparedPath(), u"\\SystemRoot\\ABC.INI");
    Import();
    char16_t from[8] = {};
    ASSERT_EQ(AccessSetting(m_pFunction, SETTING_READ, from, 14, u"From"), kernel::STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(from), u"Other");
}

TEST_F(SettingsIniTest, AModuleNameIsUsedUpToTheLongestLengthAndOnlyWhenUsable) {
    const std::u16string longest = std::u16string(46, u'N') + u".INI";
    SetModuleName(longest.c_str(), 100);
    EXPECT_EQ(PreparedPath(), u"\\SystemRoot\\" + longest);
    for (const std::uint32_t bytes : {0u, 3u}) {
        SCOPED_TRACE(bytes);
        SetModuleName(u"AB", bytes);
        EXPECT_EQ(PreparedPath(), u"\\SystemRoot\\ZOVRAQ7K2X1.INI");
    }
}

struct VersionCase {
    const char* what;
    const char* file; // null: no file
    std::uint32_t version;
};

TEST_F(SettingsIniTest, TheVersionIsTheFirstValueOfTheVersionSection) {
    const VersionCase cases[] = {
        {"no file", nullptr, 0},
        {"no section", "[OTHER]\r\nv=5\r\n", 0},
        {"empty section", "[VERSION]\r\n[OTHER]\r\nv=5\r\n", 0},
        {"number", "[VERSION]\r\nv=0x105 7\r\n", 0x105},
        {"byte", "[VERSION]\r\nv=0x09,0x10\r\n", 9},
        {"after a comment", "[VERSION]\r\n;c\r\nw=12\r\n", 12},
        {"text is the number 0", "[VERSION]\r\nv=abc\r\nw=12\r\n", 0},
        {"last line without CR LF", "[VERSION]\r\nv=6", 6},
        {"bare line feeds", "[VERSION]\nv=6\n", 0},
        {"a CR takes the byte after it", "[VERSION]\rXv=5\r\n", 5},
        {"lower case header", "[version]\r\nv=6\r\n", 0},
    };
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(m_Folder.path() / "ZOVRAQ7K2X1.INI");
        if (c.file != nullptr) WriteFile(c.file);
        CSettingsIniFile reader(m_pFunction);
        ASSERT_EQ(reader.Prepare(), kernel::STATUS_SUCCESS);
        EXPECT_EQ(reader.GetVersion(), c.version);
        EXPECT_TRUE(io::openFilePaths().empty());
    }
}

TEST_F(SettingsIniTest, WithoutAMappingLineNothingIsImported) {
    const std::string section = "[S]\r\nA=1\r\n";
    const std::string files[] = {
        "[VERSION]\r\nv=2\r\n" + section,
        "[VERSION]\r\nv=2\r\n[HALVEX]\r\nUSB\\VID_0B05&PID_17F3=S\r\n" + section,
        // the mapping line stands after the mapping section has ended
        "[VERSION]\r\nv=2\r\n[HALVEX]\r\n[X]\r\nUSB\\VID_0B05&PID_17F3&REV_0100=S\r\n" + section,
    };
    for (const std::string& file : files) {
        WriteFile(file);
        Import();
        EXPECT_EQ(DumpSettings(), std::string(SETTINGS_PATH) + "\n");
        CSettingsIniFile reader(m_pFunction);
        ASSERT_EQ(reader.Prepare(), kernel::STATUS_SUCCESS);
        EXPECT_EQ(reader.OpenAndLookup(), kernel::STATUS_UNSUCCESSFUL);
        EXPECT_TRUE(io::openFilePaths().empty());
    }
}

TEST_F(SettingsIniTest, AFailedWriteDoesNotStopTheImport) {
    // The subkey's parent does not exist, so its value cannot be written.
    WriteFile("[VERSION]\r\nv=1\r\n[HALVEX]\r\nUSB\\VID_0B05&PID_17F3&REV_0100=S\r\n"
              "[S:a\\b]\r\nA=0x01\r\nB=0x02\r\n[S]\r\nC=0x03\r\n");
    Import();
    EXPECT_EQ(DumpSettings(), std::string(SETTINGS_PATH) +
                                  "\n  \"C\" binary 03\n  \"IniVersion\" binary 01 00 00 00\n");
}

TEST_F(SettingsIniTest, OverlongLinesGoOnAsTheNextLine) {
    // 4097 bytes are a line without CR LF; the rest of the text is the next line.
    WriteFile("[VERSION]\r\nv=1\r\n[HALVEX]\r\nUSB\\VID_0B05&PID_17F3&REV_0100=S\r\n[S]\r\n"
              "K=1" +
              std::string(4094, ' ') + ",0x02\r\nTail=0x03\r\n");
    CSettingsIniFile reader(m_pFunction);
    ASSERT_EQ(reader.Prepare(), kernel::STATUS_SUCCESS);
    ASSERT_EQ(reader.OpenAndLookup(), kernel::STATUS_SUCCESS);
    EXPECT_EQ(reader.ReadLine(), 3); // [S]
    EXPECT_EQ(reader.ReadLine(), 4097);
    EXPECT_EQ(reader.ReadLine(), 5); // ",0x02"
    EXPECT_EQ(reader.ReadLine(), 9);
    EXPECT_EQ(reader.ReadLine(), -1);
    reader.Close();
    // The long line holds only its own token; the piece after it ends the section.
    Import();
    EXPECT_EQ(DumpSettings(), std::string(SETTINGS_PATH) + "\n  \"K\" binary 01 00 00 00\n"
                                                           "  \"IniVersion\" binary 01 00 00 00\n");
}

struct PrepareCase {
    const char* what;
    std::u16string hardwareId;
    NTSTATUS status;
};

TEST_F(SettingsIniTest, PrepareNeedsAUsableHardwareId) {
    const PrepareCase cases[] = {
        {"longest", u"USB\\" + std::u16string(95, u'x'), kernel::STATUS_SUCCESS},
        {"too long", u"USB\\" + std::u16string(96, u'x'), kernel::STATUS_BUFFER_OVERFLOW},
        {"blank inside", u"USB\\VID 1", kernel::STATUS_INVALID_PARAMETER},
        {"not ASCII", u"USB\\VID_\u00e9", kernel::STATUS_INVALID_PARAMETER},
        {"property too big", std::u16string(500, u'x'), kernel::STATUS_BUFFER_TOO_SMALL},
    };
    for (const PrepareCase& c : cases) {
        SCOPED_TRACE(c.what);
        MakeDevice({c.hardwareId});
        CSettingsIniFile reader(m_pFunction);
        EXPECT_EQ(reader.Prepare(), c.status);
        if (c.status == kernel::STATUS_SUCCESS) {
            EXPECT_EQ(std::string(reader.GetHardwareId()), "USB\\" + std::string(95, 'X'));
        }
    }
    const LoneDevice lone(m_Driver);
    CSettingsIniFile reader(lone.pDevice);
    EXPECT_EQ(reader.Prepare(), kernel::STATUS_INVALID_DEVICE_REQUEST);
}

TEST_F(SettingsIniTest, EveryAllocationFailureIsReported) {
    WriteFile(FACTORY_FILE);
    kernel::failPoolTag(INI_FILE_TAG);
    EXPECT_EQ(ImportSettingsIni(m_pFunction), kernel::STATUS_INSUFFICIENT_RESOURCES);
    kernel::clearPoolFaults();

    // Each of the reader's buffers in turn.
    for (std::uint64_t n = 1; n <= 2; ++n) {
        CSettingsIniFile reader(m_pFunction);
        kernel::failPoolRequest(n);
        EXPECT_EQ(reader.Prepare(), kernel::STATUS_INSUFFICIENT_RESOURCES);
        EXPECT_EQ(reader.ReadLine(), -1);
        kernel::clearPoolFaults();
    }
    EXPECT_EQ(DumpSettings(), "");
}

} // namespace
