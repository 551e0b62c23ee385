// The panel's own files against counts beyond what they hold and against
// damage: a count is held to the file's largest, with a warning; a damaged
// preferences or profile file is kept aside byte for byte before a fresh one
// is written.

#include "panel/app_config.h"
#include "panel/damaged_file.h"
#include "panel/file_counts.h"
#include "panel/macro_files.h"
#include "panel/profile_store.h"
#include "panel/tests/debug_lines.h"
#include "panel/tests/panel_sim_fixture.h"

#include <QFileInfo>

#include <functional>
#include <string>

namespace {

using namespace panel;
using namespace panel_test;

QString dirOf(const testkit::TempFolder& folder) {
    return QString::fromStdString(folder.path().string());
}

int warningsWith(const DebugLines& debug, const QString& text) {
    int n = 0;
    for (const QString& line : debug.lines()) n += line.contains(text) ? 1 : 0;
    return n;
}

struct CountKind {
    const char* name;
    int largest;
    // Writes a file whose count is `total` and whose entry at `largest`
    // (counted as the reader counts) is "7"; reads it back.
    std::function<QStringList(const testkit::TempFolder&, long long total)> writeAndRead;
};

QStringList asStrings(const QVariantList& list) {
    QStringList out;
    for (const QVariant& v : list) out << v.toString();
    return out;
}

const CountKind kCountKinds[] = {
    {"config.ini", kConfigEntries,
     [](const testkit::TempFolder& folder, long long total) {
         folder.write("config.ini", "[common]\ntotal=" + std::to_string(total) + "\n" +
                                        std::to_string(kConfigEntries - 1) + "=7\n" +
                                        std::to_string(kConfigEntries) + "=8\n");
         return asStrings(AppConfig(dirOf(folder)).load());
     }},
    {"lang_031000.ini", kUiStrings,
     [](const testkit::TempFolder& folder, long long total) {
         folder.write("i18n/lang_031000.ini", "[font]\nfamily=F\ntotal=" + std::to_string(total) +
                                                  "\n[strings]\n" + std::to_string(kUiStrings) +
                                                  "=7\n" + std::to_string(kUiStrings + 1) + "=8\n");
         const AppConfig config(dirOf(folder));
         QStringList strings = LanguageStrings(config, 31000).uiStrings();
         strings.removeFirst(); // the font
         return strings;
     }},
    {"M.bin", kMacroLines,
     [](const testkit::TempFolder& folder, long long total) {
         folder.write("macro/M.bin", "[config]\ntotal=" + std::to_string(total) + "\n[macro]\n" +
                                         std::to_string(kMacroLines - 1) + "=7\n" +
                                         std::to_string(kMacroLines) + "=8\n");
         return MacroFiles(pathIn(folder, "macro")).lines("M").value_or(QStringList{});
     }},
};

TEST(PanelFileCounts, ACountBeyondWhatTheFileHoldsReadsAsTheLargestWithAWarning) {
    for (const CountKind& kind : kCountKinds) {
        for (const long long total : {(long long)kind.largest, kind.largest + 1LL, 2000000000LL}) {
            SCOPED_TRACE(std::string(kind.name) + " total=" + std::to_string(total));
            testkit::TempFolder folder;
            const DebugLines debug;
            const QStringList read = kind.writeAndRead(folder, total);
            ASSERT_EQ(read.size(), kind.largest);
            EXPECT_EQ(read.back(), "7");
            const int warned = warningsWith(debug, QString(kind.name) + ": ");
            EXPECT_EQ(warned, total > kind.largest ? 1 : 0)
                << debug.lines().join("\n").toStdString();
        }
    }
}

TEST(PanelFileCounts, PreferencesPastThePagesOwnEntriesAreCarriedThroughAsFarAsTheFileHoldsThem) {
    testkit::TempFolder folder;
    const int held = kConfigEntries + 5;
    std::string text = "[common]\ntotal=" + std::to_string(held + 1) + "\n";
    for (int i = 0; i < held; ++i) text += std::to_string(i) + "=" + std::to_string(i) + "\n";
    folder.write("config.ini", text);
    const DebugLines debug;
    const QVariantList read = AppConfig(dirOf(folder)).load();
    ASSERT_EQ(read.size(), held);
    EXPECT_EQ(read.back().toInt(), held - 1);
    EXPECT_EQ(warningsWith(debug, "config.ini: "), 1);
}

struct Damage {
    std::string contents;
    bool damaged;
};

// "n, n, ..." with `count` entries.
std::string list(int count, int n) {
    std::string out;
    for (int i = 0; i < count; ++i) out += (i ? ", " : "") + std::to_string(n);
    return out;
}

// A whole profile file as the panel writes it, but for its last lines.
std::string wholeProfile(const std::string& tail) {
    return "[option]\n0=" + list(256, 1) + "\n[macro]\n3=" + list(192, 9) + "\n" + tail;
}

// Each file's writer and how it reads what it wrote.
struct FileKind {
    const char* name;
    std::vector<Damage> cases;
    // Makes the panel write the file; returns what it holds afterwards in memory.
    std::function<QString(const QString& path)> write;
    // What a fresh reader finds in the written file.
    std::function<QString(const QString& path)> reread;
};

QString profileSummary(ProfileStore& store) {
    OptionBlock option{};
    store.option(0, option);
    MacroBlock macro{};
    store.macro(3, macro);
    return QString("option0=%1,%2,%3 macro3=%4 time=%5 profile=%6")
        .arg(option[0])
        .arg(option[1])
        .arg(option[2])
        .arg(macro[0])
        .arg(store.timeFlag())
        .arg(store.profileId());
}

const FileKind kFileKinds[] = {
    {"config.ini",
     {{"[common\ntotal=2\n", true},
      {"[common]\ntotal=2\ngarbage\n", true},
      {"[common]\ntotal=two\n", true},
      {"[common]\ntotal=-3\n", true},
      {std::string("\0\0\0\0", 4), true},
      {"", false},
      {"[common]\ntotal=2\n0=0\n1=31000\n", false},
      {"; a note\n[common]\ntotal=1\n0=zero\n", false},
      // Cut short: the entries without their count and language.
      {"[common]\n0=0\n1=31000\n10=0\n", true},
      {"[common]\ntotal=3\n0=0\n2=1\n", true},
      {"[common]\ntotal=2000000000\n0=0\n1=31000\n", true},
      {"[common]\ntotal=2\n0=0\n1=31000\n2=1\n", true},
      // Entries the settings page keeps within a range, beyond it.
      {"[common]\ntotal=2\n0=0\n1=12345\n", true},
      {"[common]\ntotal=3\n0=0\n1=31000\n2=7\n", true},
      {"[common]\ntotal=4\n0=0\n1=31000\n2=1\n3=256\n", true},
      {"[common]\ntotal=4\n0=0\n1=31000\n2=1\n3=red\n", true},
      {"[common]\ntotal=35\n" +
           [] {
               std::string s;
               for (int i = 0; i < 35; ++i)
                   s += std::to_string(i) + "=" + (i == 1 ? "25208" : i == 34 ? "11" : "0") + "\n";
               return s;
           }(),
       true},
      {"[common]\ntotal=3\n0=0\n1=25044\n2=1\nlanguage=ChineseSimplified\n", false}},
     [](const QString& path) {
         const AppConfig config(QFileInfo(path).path());
         config.save({4, 31000, 1});
         return asStrings(config.load()).join(",");
     },
     [](const QString& path) {
         return asStrings(AppConfig(QFileInfo(path).path()).load()).join(",");
     }},
    {"profile.ini",
     {{"[option]\n0=1, 2, 3\nbroken line\n", true},
      {"[option]\n0=1, 2, 3\n[matrix]\n0=1, x, 3\n", true},
      {"[option]\n0=1, 2, 3\n[macro]\n3=7\n", true},
      {"[option]\n0=1, 2, 3\n[common]\ntimeFlag=soon\n", true},
      {"[option]\n0=1, 2, 3\n[common]\ncurProfile=-1\n", true},
      {"[option\n0=1, 2, 3\n", true},
      // Lists the panel would pad or cut, values it would take the low byte of.
      {"[option]\n0=1, 2, 3\n[macro]\n3=9, 0\n[common]\ntimeFlag=12\n", true},
      {wholeProfile("[matrix]\n2=" + list(257, 0) + "\n"), true},
      {wholeProfile("[matrix]\n2=" + list(255, 0) + ", 256\n"), true},
      {wholeProfile("[common]\ncurProfile=9\n"), true},
      {wholeProfile("[common]\ncurProfile=3\ntimeFlag=12\n"), false},
      {"", false}},
     [](const QString& path) {
         ProfileStore store(path);
         store.load();
         return profileSummary(store);
     },
     [](const QString& path) {
         ProfileStore store(path);
         store.load();
         return profileSummary(store);
     }},
};

TEST(PanelDamagedFiles, ADamagedFileIsKeptAsideAsItWasAndAFreshOneWritten) {
    for (const FileKind& kind : kFileKinds) {
        for (const Damage& c : kind.cases) {
            SCOPED_TRACE(std::string(kind.name) + ": " + c.contents);
            testkit::TempFolder folder;
            folder.write(kind.name, c.contents);
            const QString path = pathIn(folder, kind.name);
            const DebugLines debug;
            const QString held = kind.write(path);
            EXPECT_EQ(warningsWith(debug, "is damaged"), c.damaged ? 1 : 0)
                << debug.lines().join("\n").toStdString();
            const std::string aside = std::string(kind.name) + ".damaged";
            EXPECT_EQ(std::filesystem::exists(folder.path() / aside), c.damaged);
            if (c.damaged) {
                EXPECT_EQ(folder.read(aside), c.contents);
            }
            // The fresh file holds what the panel held, and reads cleanly.
            EXPECT_TRUE(iniReadsCleanly(path));
            EXPECT_EQ(kind.reread(path), held);
            // Said once: the fresh file is not damaged.
            kind.write(path);
            EXPECT_EQ(warningsWith(debug, "is damaged"), c.damaged ? 1 : 0);
        }
    }
}

TEST(PanelDamagedFiles, WhatTheDamagedProfileStillHeldIsKeptInTheFreshOne) {
    testkit::TempFolder folder;
    folder.write("profile.ini", "[option]\n0=1, 2, 3\n[macro]\n3=7\n[common]\ntimeFlag=12\n");
    ProfileStore store(pathIn(folder, "profile.ini"));
    store.load();
    ProfileStore reread(pathIn(folder, "profile.ini"));
    reread.load();
    EXPECT_EQ(profileSummary(reread), "option0=1,2,3 macro3=0 time=12 profile=1");
}

TEST(PanelDamagedFiles, ASecondDamagedFileDoesNotOverwriteTheFirst) {
    for (const FileKind& kind : kFileKinds) {
        SCOPED_TRACE(kind.name);
        testkit::TempFolder folder;
        const QString path = pathIn(folder, kind.name);
        const std::string first = kind.cases[0].contents + "first\n";
        const std::string second = kind.cases[0].contents + "second\n";
        folder.write(kind.name, first);
        kind.write(path);
        folder.write(kind.name, second);
        kind.write(path);
        const std::string aside = std::string(kind.name) + ".damaged";
        EXPECT_EQ(folder.read(aside), first);
        EXPECT_EQ(folder.read(aside + "-2"), second);
    }
}

} // namespace
