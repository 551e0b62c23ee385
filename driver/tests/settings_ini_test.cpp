#include "driver/adapter/settings_ini_file.h"
#include "driver/common/settings_store.h"
#include "driver/tests/settings_test_device.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/pool.h"
#include "testkit/guarded_fifo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

TEST_F(SettingsIniTest, AnOverlongLineIsPassedOverWholeAndTheNextLineReadAsItsOwn) {
    WriteFile("[VERSION]\r\nv=1\r\n[HALVEX]\r\nUSB\\VID_0B05&PID_17F3&REV_0100=S\r\n[S]\r\n"
              "K=1" +
              std::string(4095, ' ') + ",0x02\r\nTail=0x03\r\n" + std::string(4098, ';'));
    CSettingsIniFile reader(m_pFunction);
    ASSERT_EQ(reader.Prepare(), kernel::STATUS_SUCCESS);
    ASSERT_EQ(reader.OpenAndLookup(), kernel::STATUS_SUCCESS);
    kernel::clearDebugLog();
    EXPECT_EQ(reader.ReadLine(), 3); // [S]
    EXPECT_EQ(reader.ReadLine(), 9); // Tail=0x03
    EXPECT_EQ(std::string(reader.GetLine(), 11), "Tail=0x03\r\n");
    EXPECT_EQ(reader.ReadLine(), -1); // the last line, without CR LF, is too long as well
    EXPECT_EQ(kernel::debugLog(),
              (std::vector<std::string>{
                  "INI: \\SystemRoot\\ZOVRAQ7K2X1.INI line 6 is longer than 4097 bytes; it is "
                  "passed over\n",
                  "INI: \\SystemRoot\\ZOVRAQ7K2X1.INI line 8 is longer than 4097 bytes; it is "
                  "passed over\n"}));
}

// A file that imports "A" and its version, after padding of its own.
std::string FileOfVersion(const std::string& version, const std::string& valueLine = "A=0x01") {
    return "[VERSION]\r\nv=" + version +
           "\r\n[HALVEX]\r\nUSB\\VID_0B05&PID_17F3&REV_0100=S\r\n[S]\r\n" + valueLine +
           "\r\nB=0x02\r\n";
}

// The text followed by comment lines up to exactly bytes bytes.
std::string PaddedTo(std::string text, std::size_t bytes) {
    text += "[PAD]\r\n";
    while (bytes - text.size() > 4002) text += std::string(4000, ';') + "\r\n";
    return text + std::string(bytes - text.size(), ';');
}

struct HostileCase {
    const char* what;
    // Puts the INI in place; what it returns lives until the case ends.
    std::function<std::shared_ptr<void>(const testkit::TempFolder& folder)> make;
    const char* printed;           // what the debug print says; null: the file imports
    std::uint32_t importedVersion; // when it imports
};

std::shared_ptr<void> Written(const testkit::TempFolder& folder, const std::string& text,
                              const char* name = "ZOVRAQ7K2X1.INI") {
    folder.write(name, text);
    return nullptr;
}

std::shared_ptr<void> LinkedTo(const testkit::TempFolder& folder, const std::filesystem::path& to) {
    std::filesystem::create_symlink(to, folder.path() / "ZOVRAQ7K2X1.INI");
    return nullptr;
}

TEST_F(SettingsIniTest, HostileFilesAreRefusedWithAReasonAndChangeNothing) {
    testkit::TempFolder outside;
    outside.write("ZOVRAQ7K2X1.INI", FileOfVersion("9"));
    const std::string pieceLine = "A=" + std::string(4091, ' ') + "0x01"; // exactly 4097 bytes
    const HostileCase cases[] = {
        {"the largest version", [](auto& f) { return Written(f, FileOfVersion("4294967295")); },
         nullptr, 0xFFFFFFFF},
        {"the largest version in hex, leading zeros",
         [](auto& f) { return Written(f, FileOfVersion("0x00FFFFFFFF")); }, nullptr, 0xFFFFFFFF},
        {"a version of 2^32", [](auto& f) { return Written(f, FileOfVersion("4294967296")); },
         "line 2: the version does not fit 32 bits", 0},
        {"a version of 2^40", [](auto& f) { return Written(f, FileOfVersion("1099511627776")); },
         "line 2: the version does not fit 32 bits", 0},
        {"a version of 40 bits in hex",
         [](auto& f) { return Written(f, FileOfVersion("0xFFFFFFFFFF")); },
         "line 2: the version does not fit 32 bits", 0},
        {"a line of the longest length",
         [&](auto& f) { return Written(f, FileOfVersion("5", pieceLine)); }, nullptr, 5},
        {"a line one byte longer",
         [&](auto& f) { return Written(f, FileOfVersion("5", " " + pieceLine)); },
         "line 6 is longer than 4097 bytes", 5},
        {"a file of the largest size",
         [](auto& f) { return Written(f, PaddedTo(FileOfVersion("6"), 1 << 20)); }, nullptr, 6},
        {"a file one byte larger",
         [](auto& f) { return Written(f, PaddedTo(FileOfVersion("6"), (1 << 20) + 1)); },
         "is larger than 1048576 bytes; nothing is imported", 0},
        {"a link to a file inside",
         [](auto& f) {
             f.write("real.ini", FileOfVersion("7"));
             return LinkedTo(f, "real.ini");
         },
         nullptr, 7},
        {"a link leading outside",
         [&](auto& f) { return LinkedTo(f, outside.path() / "ZOVRAQ7K2X1.INI"); },
         "refused: a link leading outside", 0},
        {"a link to /dev/zero", [](auto& f) { return LinkedTo(f, "/dev/zero"); }, "(to /dev/zero)",
         0},
        {"a FIFO",
         [](auto& f) {
             return std::static_pointer_cast<void>(
                 std::make_shared<testkit::GuardedFifo>(f.path() / "ZOVRAQ7K2X1.INI"));
         },
         "refused: a FIFO, not a regular file", 0},
        {"a directory", [](auto& f) { return Written(f, "", "ZOVRAQ7K2X1.INI/x"); },
         "refused: a directory, not a regular file", 0},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_Folder.path() / "ZOVRAQ7K2X1.INI");
        std::filesystem::remove(m_Folder.path() / "real.ini");
        std::uint32_t ulStored = 2;
        ASSERT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, &ulStored, 4, u"IniVersion"),
                  kernel::STATUS_SUCCESS);
        ASSERT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, &ulStored, 4, u"A"),
                  kernel::STATUS_SUCCESS);
        ASSERT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, &ulStored, 4, u"B"),
                  kernel::STATUS_SUCCESS);
        const std::shared_ptr<void> keep = c.make(m_Folder);
        const std::string before = DumpSettings();
        kernel::clearDebugLog();
        Import();
        EXPECT_TRUE(io::openFilePaths().empty());
        const std::vector<std::string> log = kernel::debugLog();
        if (c.importedVersion == 0) {
            EXPECT_EQ(DumpSettings(), before);
        } else {
            EXPECT_EQ(Setting(u"IniVersion"), c.importedVersion);
            EXPECT_EQ(Setting(u"B"), 0x02u); // the line after a refused one is read as its own
            EXPECT_EQ(Setting(u"A"), c.printed == nullptr ? 0x01u : 2u);
        }
        if (c.printed == nullptr) {
            EXPECT_TRUE(log.empty()) << log.front();
            continue;
        }
        ASSERT_EQ(log.size(), 1u);
        EXPECT_NE(log[0].find("\\SystemRoot\\ZOVRAQ7K2X1.INI"), std::string::npos) << log[0];
        EXPECT_NE(log[0].find(c.printed), std::string::npos) << log[0];
    }
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
