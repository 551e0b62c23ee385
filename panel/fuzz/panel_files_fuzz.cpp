#include "panel/fuzz/panel_files_fuzz.h"

#include "panel/app_config.h"
#include "panel/damaged_file.h"
#include "panel/file_counts.h"
#include "panel/fuzz/fuzz_scratch.h"
#include "panel/macro_encoding.h"
#include "panel/macro_files.h"
#include "panel/profile_store.h"
#include "platform/fuzz/fuzz_require.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace {

using namespace panel;

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    fuzzRequire(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(),
                "cannot write an input file");
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A file kept aside holds the input; what was written in its place reads cleanly.
void requireKeptAsideWhole(const QString& path, const QByteArray& input) {
    if (QFile::exists(path + ".damaged"))
        fuzzRequire(readFile(path + ".damaged") == input, "a damaged file was not kept as it was");
    fuzzRequire(iniReadsCleanly(path), "the panel wrote a file it cannot read");
}

void preferences(const panel_fuzz::InputFolder& folder, const QByteArray& input) {
    const QString path = folder.file("config.ini");
    writeFile(path, input);
    const AppConfig config(folder.path());
    const QVariantList entries = config.load();
    // Entries past the pages' own are carried through as far as the file
    // has numbered keys, and every key stands on a line with its "=".
    fuzzRequire(entries.size() <= std::max(kConfigEntries, int(input.count('='))),
                "more preferences than the file holds");
    // The settings page writes back what it loaded.
    config.save(entries);
    requireKeptAsideWhole(path, input);
    // Read from the disk through a copy: this process's parse of the file is
    // the one it wrote.
    const QString copyFolder = folder.file("copy");
    QDir().mkpath(copyFolder);
    fuzzRequire(QFile::copy(path, copyFolder + "/config.ini"), "cannot copy the preferences");
    fuzzRequire(AppConfig(copyFolder).load() == entries,
                "the preferences did not come back as written");
}

void language(const panel_fuzz::InputFolder& folder, const QByteArray& input) {
    const AppConfig config(folder.path());
    writeFile(config.languageFile(31000), input);
    const LanguageStrings strings(config, 31000);
    fuzzRequire(strings.uiStrings().size() <= kUiStrings + 1, "more strings than the file holds");
}

void macro(const panel_fuzz::InputFolder& folder, const QByteArray& input) {
    const MacroFiles files(folder.file("macro"));
    writeFile(folder.file("macro/M.bin"), input);
    const auto lines = files.lines("M");
    fuzzRequire(lines.has_value(), "an existing macro file did not read");
    fuzzRequire(lines->size() <= kMacroLines, "more macro lines than a macro holds");
    fuzzRequire(files.config("M").has_value(), "an existing macro file has no settings");
    MacroKeyCodes codes{{"A", 4}, {"B", 5}};
    const MacroBlock block = macroBlockFor(*lines, codes, 1);
    // The events end with the end marker 00 00 before the zeros behind them.
    std::size_t end = block.size();
    while (end > 2 && block[end - 1] == 0) --end;
    fuzzRequire(end + 2 <= block.size(), "a slot lost its end marker");
    fuzzRequire(files.saveLines("M", *lines), "an existing macro file was not written");
    fuzzRequire(files.lines("M") == lines, "the macro's lines did not come back as written");
}

void profile(const panel_fuzz::InputFolder& folder, const QByteArray& input) {
    const QString path = folder.file("profile.ini");
    writeFile(path, input);
    ProfileStore store(path);
    store.load();
    fuzzRequire(store.profileId() < kProfiles, "a current profile the panel lacks");
    requireKeptAsideWhole(path, input);
    // A fresh file written in place of a damaged one gives a fresh reader
    // all the store read: nothing that could be read is lost.
    // The copy is read from the disk: this process's parse of the file is the
    // one it wrote.
    if (!QFile::exists(path + ".damaged")) return;
    fuzzRequire(QFile::copy(path, folder.file("fresh.ini")), "cannot copy the fresh file");
    ProfileStore again(folder.file("fresh.ini"));
    again.load();
    fuzzRequire(!QFile::exists(folder.file("fresh.ini.damaged")),
                "the panel's own file was taken as damaged");
    for (unsigned p = 0; p < kProfiles; ++p) {
        OptionBlock a{}, b{};
        MatrixBlock c{}, d{};
        store.option(p, a);
        again.option(p, b);
        store.matrix(p, c);
        again.matrix(p, d);
        fuzzRequire(a == b && c == d, "a profile's blocks did not come back as written");
    }
    for (unsigned m = 0; m < kMacroSlots; ++m) {
        MacroBlock a{}, b{};
        store.macro(m, a);
        again.macro(m, b);
        fuzzRequire(a == b, "a macro slot did not come back as written");
    }
    fuzzRequire(again.profileId() == store.profileId() && again.timeFlag() == store.timeFlag(),
                "the profile or time stamp did not come back as written");
}

} // namespace

int fuzzPanelFiles(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const QByteArray input(reinterpret_cast<const char*>(data + 1), int(size - 1));
    const panel_fuzz::InputFolder folder;
    switch (data[0] % 4) {
    case 0:
        preferences(folder, input);
        break;
    case 1:
        language(folder, input);
        break;
    case 2:
        macro(folder, input);
        break;
    default:
        profile(folder, input);
        break;
    }
    return 0;
}
