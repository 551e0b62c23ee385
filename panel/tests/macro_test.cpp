// Macro files, the macro encoding and the reconciliation of macro slots with
// the key assignments.

#include "panel/macro_encoding.h"
#include "panel/macro_usage.h"
#include "panel/tests/debug_lines.h"
#include "panel/tests/view_fixture.h"

#include <QDir>

namespace {

using namespace panel_test;
using namespace panel;

QString delay(int ms) { return QString::number(ms) + "   [Delay]"; }

struct EncodeCase {
    const char* name;
    QStringList lines;
    QList<std::uint8_t> expected;
};

TEST(MacroIncode, EventsBetweenHeaderAndEndMarker) {
    const EncodeCase cases[] = {
        {"empty", {}, {0, 1, 0, 0}},
        {"250 ms", {delay(250)}, {0, 1, 0x7F, 0, 0, 0x19, 0, 0}},
        {"longest delay", {delay(65535)}, {0, 1, 0x7F, 0, 0x19, 0x99, 0, 0}},
        {"under one unit still waits", {delay(5)}, {0, 1, 0x7F, 0, 0, 0, 0, 0}},
        {"no delay", {delay(0), "abc   [Delay]"}, {0, 1, 0, 0}},
        {"unknown key", {"F13    [Down]", "F13      [Up]"}, {0, 1, 0, 0}},
        {"known key",
         {"A    [Down]", delay(20), "A      [Up]"},
         {0, 1, 0x01, 0x04, 0x7F, 0, 0, 2, 0x81, 0x04, 0, 0}},
        {"other commands", {"A   [Press]", "x", ""}, {0, 1, 0, 0}},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        MacroKeyCodes codes{{"A", 0x04}};
        EXPECT_EQ(macroIncode(c.lines, codes), c.expected);
    }
}

// A macro longer than the slot used to be cut at 192 bytes, losing its end marker.
TEST(MacroBlock, ALongMacroKeepsItsWholeEventsAndItsEndMarker) {
    MacroKeyCodes codes;
    QStringList lines;
    for (int i = 1; i <= 60; ++i) lines.append(delay(i * 10));
    const MacroBlock block = macroBlockFor(lines, codes, 1);
    // 47 four-byte events fit between the header and the end marker.
    EXPECT_EQ(block[186], 0x7F);
    EXPECT_EQ(block[189], 47);
    EXPECT_EQ(block[190], 0);
    EXPECT_EQ(block[191], 0);
}

struct ReconcileCase {
    const char* name;
    MacroConfig config;
    int keysOnSlot3;
    std::optional<MacroConfig> expected;
};

TEST(MacroUsage, AFilesSlotAndUseCountFollowTheKeyAssignments) {
    const MacroConfig unassigned{-1, 2, 0};
    const ReconcileCase cases[] = {
        {"unassigned and unused", {-1, 2, 0}, 0, std::nullopt},
        {"used without a slot", {-1, 2, 4}, 4, unassigned},
        {"a slot without use", {3, 2, 0}, 2, unassigned},
        {"a slot the headset lacks", {40, 2, 1}, 1, unassigned},
        {"in agreement", {3, 2, 3}, 3, std::nullopt},
        {"more keys than counted", {3, 2, 2}, 3, MacroConfig{3, 2, 3}},
        {"no key left", {3, 2, 2}, 0, unassigned},
    };
    for (const ReconcileCase& c : cases) {
        SCOPED_TRACE(c.name);
        MacroSlotUse use{};
        use[3] = c.keysOnSlot3;
        EXPECT_EQ(reconciledConfig(c.config, use), c.expected);
    }
}

class MacroFilesOnSim : public ViewOnSim {
protected:
    std::string macroFile(const char* name) const {
        return folder.read(std::string("data/macro/") + name + ".bin");
    }
    bool macroExists(const char* name) const {
        return QFileInfo::exists(path("data/macro") + "/" + name + ".bin");
    }
};

TEST_F(MacroFilesOnSim, CreateTakesTheFirstFreeNumberAndWritesAnEmptyMacro) {
    struct Case {
        std::vector<const char*> present;
        const char* created;
    };
    const Case cases[] = {
        {{}, "Macro 001"},
        {{"Macro 001", "Macro 002"}, "Macro 003"},
        {{"Macro 002"}, "Macro 001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.created);
        QDir(path("data/macro")).removeRecursively();
        for (const char* name : c.present)
            folder.write(std::string("data/macro/") + name + ".bin", "[config]\nindex=-1\n");
        EXPECT_EQ(host->createMacroIni().toString(), c.created);
        EXPECT_EQ(macroFile(c.created), "[config]\nindex=-1\nrepeat=1\ntotal=0\nusedTimes=0\n");
    }
}

// A macro that could not be written used to be announced all the same.
TEST_F(MacroFilesOnSim, CreateNamesNoMacroWhenItsFolderCantHoldOne) {
    folder.write("data/macro", "not a folder");
    EXPECT_EQ(host->createMacroIni().toString(), "");
}

TEST_F(MacroFilesOnSim, NamesAreListedIgnoringCaseWithTheirSlots) {
    folder.write("data/macro/b.bin", "[config]\nindex=3\n");
    folder.write("data/macro/A.bin", "[config]\ntotal=0\n");
    folder.write("data/macro/c.bin/keep", "");
    folder.write("data/macro/notes.txt", "");
    const QVariantList names = host->getMacroIniNames();
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(names[0].toStringList(), (QStringList{"A.bin", "b.bin", "c.bin"}));
    EXPECT_EQ(names[1].toList(), (QVariantList{-1, 3, -1}));
}

TEST_F(MacroFilesOnSim, LinesAreReplacedWholeAndReadBack) {
    const QString name = host->createMacroIni().toString();
    EXPECT_TRUE(host->saveMacroIni(name, {"A    [Down]", delay(250), "A      [Up]"}).toBool());
    EXPECT_TRUE(host->saveMacroIni(name, {delay(100), delay(200)}).toBool());
    EXPECT_EQ(host->loadMacroIni(name), (QStringList{delay(100), delay(200)}));
    EXPECT_EQ(macroFile("Macro 001"), "[config]\nindex=-1\nrepeat=1\ntotal=2\nusedTimes=0\n\n"
                                      "[macro]\n0=100   [Delay]\n1=200   [Delay]\n");
    // An unassigned macro is not uploaded.
    EXPECT_TRUE(writes().empty());
}

TEST_F(MacroFilesOnSim, AMissingFileGivesEmptyResultsAndIsNotCreated) {
    EXPECT_FALSE(host->saveMacroIni("Nothing", {delay(10)}).toBool());
    EXPECT_TRUE(host->loadMacroIni("Nothing").isEmpty());
    EXPECT_TRUE(host->loadMacroIniConfig("Nothing").isEmpty());
    host->setMacroIniConfig("Nothing", {1, 1, 1});
    EXPECT_FALSE(host->deleteMacroIni("Nothing").toBool());
    EXPECT_FALSE(macroExists("Nothing"));
}

TEST_F(MacroFilesOnSim, TheConfigurationKeepsItsUseCountUnlessGivenOne) {
    const QString name = host->createMacroIni().toString();
    EXPECT_EQ(host->loadMacroIniConfig(name), (QVariantList{-1, 1, 0}));
    host->setMacroIniConfig(name, {3.0, 2.0, 4.0});
    host->setMacroIniConfig(name, {5, 6});
    EXPECT_EQ(host->loadMacroIniConfig(name), (QVariantList{5, 6, 4}));
    // A configuration of fewer than two entries used to be read past its end.
    host->setMacroIniConfig(name, {9});
    EXPECT_EQ(host->loadMacroIniConfig(name), (QVariantList{5, 6, 4}));
    EXPECT_EQ(macroFile("Macro 001"), "[config]\nindex=5\nrepeat=6\ntotal=0\nusedTimes=4\n");
}

TEST_F(MacroFilesOnSim, DeleteAndRenameNeverReplaceAnotherMacro) {
    const QString first = host->createMacroIni().toString();
    const QString second = host->createMacroIni().toString();
    host->setMacroIniConfig(second, {7, 1});
    host->renameMacroIniFile(first, second);
    EXPECT_EQ(host->loadMacroIniConfig(second), (QVariantList{7, 1, 0}));
    host->renameMacroIniFile(first, "Fire");
    EXPECT_TRUE(macroExists("Fire"));
    EXPECT_FALSE(macroExists("Macro 001"));
    EXPECT_TRUE(host->deleteMacroIni("Fire").toBool());
    EXPECT_FALSE(host->deleteMacroIni("Fire").toBool());
}

// Names with "/" or ".." used to reach files outside the macro folder.
TEST_F(MacroFilesOnSim, NamesThatLeaveTheMacroFolderAreRefused) {
    folder.write("data/outside.bin", "[config]\nindex=-1\nrepeat=1\ntotal=1\nusedTimes=0\n\n"
                                     "[macro]\n0=10   [Delay]\n");
    const QString name = host->createMacroIni().toString();
    for (const char* bad : {"../outside", "sub/x", "..", "a..b"}) {
        SCOPED_TRACE(bad);
        EXPECT_TRUE(host->loadMacroIni(bad).isEmpty());
        EXPECT_TRUE(host->loadMacroIniConfig(bad).isEmpty());
        EXPECT_FALSE(host->saveMacroIni(bad, {delay(20)}).toBool());
        host->setMacroIniConfig(bad, {1, 1, 1});
        EXPECT_FALSE(host->deleteMacroIni(bad).toBool());
        host->renameMacroIniFile(bad, "stolen");
        host->renameMacroIniFile(name, bad);
    }
    EXPECT_EQ(folder.read("data/outside.bin"),
              "[config]\nindex=-1\nrepeat=1\ntotal=1\nusedTimes=0\n\n[macro]\n0=10   [Delay]\n");
    EXPECT_FALSE(macroExists("stolen"));
    EXPECT_TRUE(macroExists("Macro 001"));
}

Bytes report(const MacroBlock& block, std::size_t part) {
    Bytes out(65, 0xFF);
    std::copy_n(block.begin() + std::ptrdiff_t(part * 64), 64, out.begin() + 1);
    return out;
}

TEST_F(MacroFilesOnSim, AMacroKeyGoesToItsSlotStoredUploadedAndStamped) {
    const QString name = host->createMacroIni().toString();
    host->saveMacroIni(name, {delay(250)});
    host->setProfileId(2);
    hidsim::clearLog();
    host->ui_setMacroKey(4, name, 0x0102);

    MacroBlock expected{};
    const std::uint8_t head[] = {1, 2, 0x7F, 0, 0, 0x19};
    std::copy(std::begin(head), std::end(head), expected.begin());
    const auto t = static_cast<std::uint32_t>(clock.now.load());
    EXPECT_EQ(writes(),
              (std::vector<Bytes>{wire({0x09, 2}), wire({0x05, 0, 4, 3}), report(expected, 0),
                                  report(expected, 1), report(expected, 2),
                                  wire({0x15, std::uint8_t(t >> 24), std::uint8_t(t >> 16),
                                        std::uint8_t(t >> 8), std::uint8_t(t)})}));
    EXPECT_EQ(hidsim::state(headset).macros[4], expected);
    std::vector<int> stored(expected.begin(), expected.end());
    EXPECT_NE(profileFile().find("[macro]\n4=" + iniList(stored) + "\n"), std::string::npos);
}

TEST_F(MacroFilesOnSim, SavingAnAssignedMacroUploadsItAgain) {
    const QString name = host->createMacroIni().toString();
    host->setMacroIniConfig(name, {6, 1, 1});
    host->saveMacroIni(name, {delay(100)});
    ASSERT_FALSE(writes().empty());
    EXPECT_EQ(writes()[0], wire({0x05, 0, 6, 3}));
    EXPECT_EQ(hidsim::state(headset).macros[6][3], 0);
    EXPECT_EQ(hidsim::state(headset).macros[6][5], 10);
}

// A slot beyond the headset's 35 used to be written past the macro blocks.
TEST_F(MacroFilesOnSim, AMacroKeyForASlotTheHeadsetLacksIsIgnored) {
    const QString name = host->createMacroIni().toString();
    for (const QVariant& slot : {QVariant(35), QVariant(-1), QVariant("x")}) {
        SCOPED_TRACE(slot.toString().toStdString());
        host->ui_setMacroKey(slot, name, 1);
    }
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(profileFile(), "");
}

QVariantList keysUsingSlot(int slot, int keys) {
    QVariantList src;
    for (int k = 0; k < 16; ++k) {
        const bool macro = k < keys;
        src << (macro ? 0x0A : 0x01) << 0 << (macro ? slot : 0) << 0;
    }
    return src;
}

TEST_F(MacroFilesOnSim, DeviceStartBringsMacroFilesInLineWithTheKeys) {
    host->setProfileId(1);
    host->ui_setButtonValue(keysUsingSlot(3, 2));
    host->setProfileId(4);
    host->ui_setButtonValue(keysUsingSlot(3, 1));
    folder.write("data/macro/Used.bin", "[config]\nindex=3\nrepeat=2\ntotal=0\nusedTimes=2\n");
    folder.write("data/macro/Stale.bin", "[config]\nindex=9\nrepeat=1\ntotal=0\nusedTimes=1\n");
    host->cleanUnusedMacroId();
    EXPECT_EQ(host->loadMacroIniConfig("Used"), (QVariantList{3, 2, 3}));
    EXPECT_EQ(host->loadMacroIniConfig("Stale"), (QVariantList{-1, 1, 0}));
}

// A slot the headset lacks is damage: the file is kept as it was before its
// slot is written as none; a slot merely out of use is not.
TEST_F(MacroFilesOnSim, AFileNamingASlotTheHeadsetLacksIsKeptBeforeItIsRepaired) {
    const std::string bad = "[config]\nindex=40\nrepeat=2\ntotal=1\nusedTimes=1\n\n[macro]\n0=x\n";
    folder.write("data/macro/Bad.bin", bad);
    folder.write("data/macro/Stale.bin", "[config]\nindex=9\nrepeat=1\ntotal=0\nusedTimes=1\n");
    const DebugLines debug;
    host->cleanUnusedMacroId();
    EXPECT_EQ(folder.read("data/macro/Bad.bin.damaged"), bad);
    EXPECT_EQ(host->loadMacroIniConfig("Bad"), (QVariantList{-1, 2, 0}));
    EXPECT_EQ(host->loadMacroIni("Bad"), (QStringList{"x"}));
    EXPECT_FALSE(QFileInfo::exists(path("data/macro/Stale.bin.damaged")));
    int warned = 0;
    for (const QString& line : debug.lines()) warned += line.contains("Bad.bin is damaged") ? 1 : 0;
    EXPECT_EQ(warned, 1) << debug.lines().join("\n").toStdString();
    // Said once: the repaired file is not damaged.
    host->cleanUnusedMacroId();
    EXPECT_FALSE(QFileInfo::exists(path("data/macro/Bad.bin.damaged-2")));
}

} // namespace
