// The panel's data files with something other than a regular file in their
// place: a FIFO, a symbolic link to a FIFO, a directory. Each is named in one
// warning, read as a missing file, left as it is, and nothing waits on a
// FIFO. A write that fails is warned about.

#include "panel/app_config.h"
#include "panel/macro_files.h"
#include "panel/pointer_settings.h"
#include "panel/profile_store.h"
#include "panel/tests/debug_lines.h"
#include "panel/tests/fifo_watch.h"
#include "panel/tests/panel_sim_fixture.h"

#include <functional>
#include <memory>
#include <string>

#include <unistd.h>

namespace {

using namespace panel;
using namespace panel_test;
namespace fs = std::filesystem;

int warningsWith(const DebugLines& debug, const QString& text) {
    int n = 0;
    for (const QString& line : debug.lines()) n += line.contains(text) ? 1 : 0;
    return n;
}

QString text(const QStringList& list) { return list.join("|"); }

QString text(const QVariantList& list) {
    QStringList out;
    for (const QVariant& v : list) out << v.toString();
    return out.join("|");
}

struct DataFile {
    const char* name; // in the data folder
    // All the panel does with the file: it reads it and, where it writes it,
    // writes it. Returns what was read.
    std::function<QString(const QString& dataDir)> use;
};

QString profileRead(ProfileStore& store) {
    OptionBlock option{};
    store.option(0, option);
    return QString("%1 %2 %3").arg(option[0]).arg(store.timeFlag()).arg(store.profileId());
}

const DataFile kDataFiles[] = {
    {"profile.ini",
     [](const QString& dir) {
         ProfileStore store(dir + "/profile.ini");
         store.load();
         const QString read = profileRead(store);
         store.editOption(1, [](OptionBlock& b) { b[0] = 9; });
         store.editMacro(2, [](MacroBlock& b) { b[0] = 9; });
         store.saveProfileBlocks(1);
         store.storeTimeFlag(77);
         store.saveProfileId();
         return read;
     }},
    {"profile_backup.ini",
     [](const QString& dir) {
         ProfileStore store(dir + "/profile.ini");
         store.setOption(0, OptionBlock{5});
         store.restoreDefaultProfile(dir + "/profile_backup.ini");
         return profileRead(store);
     }},
    {"config.ini",
     [](const QString& dir) {
         const AppConfig config(dir);
         const QString read = text(config.load()) + " " + config.languageName();
         config.save({4, 31000, 1});
         config.reset();
         return read + " " + text(config.load());
     }},
    {"configD.ini",
     [](const QString& dir) {
         const AppConfig config(dir);
         config.save({4, 31000, 1});
         config.reset();
         return text(config.load());
     }},
    {"i18n/lang_031000.ini",
     [](const QString& dir) {
         const AppConfig config(dir);
         const LanguageStrings strings(config, 31000);
         return strings.windowTitle() + " " + text(strings.uiStrings()) + " " +
                text(strings.group("msg", 0, 2));
     }},
    {"macro/M.bin",
     [](const QString& dir) {
         const MacroFiles files(dir + "/macro");
         const bool read = files.lines("M") || files.config("M");
         const bool written = files.saveLines("M", {"1"}) ||
                              files.setConfig("M", MacroConfig{2, 1, 0}, true) ||
                              files.remove("M") || files.rename("M", "N");
         return QString("%1 %2 %3").arg(read).arg(written).arg(files.slotOf("M.bin"));
     }},
    {"pointer.ini",
     [](const QString& dir) {
         IniPointerSettings pointer(dir + "/pointer.ini");
         unsigned lines = 0;
         pointer.wheelLines(lines);
         MouseTriple mouse;
         const bool hasMouse = pointer.mouse(mouse);
         pointer.setWheelLines(7);
         return QString("%1 %2 %3").arg(lines).arg(hasMouse).arg(pointer.doubleClickMs());
     }},
};

enum class StandIn { Fifo, LinkToFifo, Directory };

struct StandInCase {
    StandIn kind;
    const char* name;
    const char* warned; // what the warning calls it
};

const StandInCase kStandIns[] = {
    {StandIn::Fifo, "a FIFO", "is a FIFO, not a regular file"},
    {StandIn::LinkToFifo, "a link to a FIFO", "is a FIFO, not a regular file"},
    {StandIn::Directory, "a directory", "is a directory, not a regular file"},
};

// What stands in the file's place: the FIFO lives under "fifos" beside the
// data folder, with a hard or symbolic link to it in the file's place.
class StandInFile {
public:
    StandInFile(const testkit::TempFolder& folder, const fs::path& file, StandIn kind)
        : m_file(file), m_kind(kind) {
        fs::create_directories(file.parent_path());
        if (kind == StandIn::Directory) {
            fs::create_directory(file);
            return;
        }
        fs::create_directories(folder.path() / "fifos");
        const fs::path fifo = folder.path() / "fifos" / file.filename();
        m_watch = std::make_unique<FifoWatch>(fifo);
        if (kind == StandIn::Fifo)
            fs::create_hard_link(fifo, file);
        else
            fs::create_symlink(fifo, file);
    }

    bool made() const { return !m_watch || m_watch->made(); }
    bool opened() { return m_watch && m_watch->wasOpened(); }
    // The same kind of thing is still in the file's place.
    bool leftInPlace() const {
        std::error_code e;
        switch (m_kind) {
        case StandIn::Fifo:
            return fs::symlink_status(m_file, e).type() == fs::file_type::fifo;
        case StandIn::LinkToFifo:
            return fs::is_symlink(m_file, e) && fs::status(m_file, e).type() == fs::file_type::fifo;
        case StandIn::Directory:
            return fs::is_directory(m_file, e) && fs::is_empty(m_file, e);
        }
        return false;
    }

private:
    fs::path m_file;
    StandIn m_kind;
    std::unique_ptr<FifoWatch> m_watch;
};

TEST(DataFileStandIns, AreNamedOnceReadAsMissingLeftInPlaceAndNeverOpened) {
    for (const DataFile& file : kDataFiles) {
        testkit::TempFolder missingFolder;
        const QString asMissing = file.use(pathIn(missingFolder, "data"));
        for (const StandInCase& standIn : kStandIns) {
            SCOPED_TRACE(std::string(file.name) + " as " + standIn.name);
            testkit::TempFolder folder;
            const fs::path where = folder.path() / "data" / file.name;
            StandInFile thing(folder, where, standIn.kind);
            ASSERT_TRUE(thing.made());
            const DebugLines debug;
            EXPECT_EQ(file.use(pathIn(folder, "data")), asMissing);
            EXPECT_FALSE(thing.opened()) << "the panel opened the FIFO";
            EXPECT_TRUE(thing.leftInPlace());
            const QString named = QString::fromStdString(where.string()) + " " + standIn.warned;
            EXPECT_EQ(warningsWith(debug, named), 1) << debug.lines().join("\n").toStdString();
        }
    }
}

// A data folder that is a file, or is read-only, takes no file.
TEST(DataFileWrites, AWriteThatFailsIsWarnedAbout) {
    struct Folder {
        const char* name;
        bool readOnly;
    };
    for (const Folder f :
         {Folder{"a file for a folder", false}, Folder{"a read-only folder", true}}) {
        SCOPED_TRACE(f.name);
        // Permissions do not hold the superuser back.
        if (f.readOnly && ::geteuid() == 0) continue;
        testkit::TempFolder folder;
        folder.write("data/macro/M.bin", "[config]\nindex=-1\n");
        folder.write("file", "");
        const fs::path data = folder.path() / (f.readOnly ? "data" : "file");
        if (f.readOnly) fs::permissions(data, fs::perms::owner_read | fs::perms::owner_exec);
        if (f.readOnly)
            fs::permissions(data / "macro", fs::perms::owner_read | fs::perms::owner_exec);
        const QString dir = QString::fromStdString(data.string());
        const DebugLines debug;

        ProfileStore store(dir + "/profile.ini");
        store.load();
        EXPECT_FALSE(store.saveProfileBlocks(1));
        store.storeTimeFlag(5);
        EXPECT_EQ(warningsWith(debug, dir + "/profile.ini could not be written"), 2);

        AppConfig(dir).save({4, 31000, 1});
        EXPECT_EQ(warningsWith(debug, dir + "/config.ini could not be written"), 1);

        IniPointerSettings pointer(dir + "/pointer.ini");
        EXPECT_FALSE(pointer.setWheelLines(4));
        EXPECT_EQ(warningsWith(debug, dir + "/pointer.ini could not be written"), 1);

        if (f.readOnly) {
            EXPECT_FALSE(MacroFiles(dir + "/macro").saveLines("M", {"1"}));
            EXPECT_EQ(warningsWith(debug, dir + "/macro/M.bin could not be written"), 1);
            EXPECT_EQ(folder.read("data/macro/M.bin"), "[config]\nindex=-1\n");
            fs::permissions(data / "macro", fs::perms::owner_all);
            fs::permissions(data, fs::perms::owner_all);
        }
    }
}

} // namespace
