#pragma once

// The profile file ("./data/profile.ini" for the program): one option and one
// matrix block per profile, one macro block per slot, the time the settings
// were last stamped and the current profile. The blocks are read and written
// from the GUI thread and the device worker alike, so every access copies
// under a lock.

#include <QSettings>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace panel {

constexpr unsigned kProfiles = 6;
constexpr unsigned kMacroSlots = 35;

using OptionBlock = std::array<std::uint8_t, 256>;
using MatrixBlock = std::array<std::uint8_t, 256>;
using MacroBlock = std::array<std::uint8_t, 192>;

class ProfileStore {
public:
    // Opens the file only when it is a regular file or missing; anything
    // else is warned about, never read or written, and left in place.
    explicit ProfileStore(const QString& path);

    // Reads the blocks, the time stamp and the current profile from the file.
    // A missing key leaves its block as it was; a longer list fills the block
    // and the rest is ignored. A file the panel did not write so (lines Qt's
    // INI reader cannot take, a block that is not a whole list of bytes, a
    // time stamp that is not a number, a current profile the panel lacks) is
    // kept aside as "<file>.damaged" and a fresh one is written at once with
    // everything the store holds.
    void load();
    // Writes profile p's option and matrix blocks to the file; false for a
    // profile that does not exist or a file that can't be written.
    bool saveProfileBlocks(unsigned profile);
    void storeTimeFlag(std::int64_t secondsSince1970);

    // Profiles and slots beyond the last are refused: false, nothing changed.
    bool option(unsigned profile, OptionBlock& out) const;
    bool setOption(unsigned profile, const OptionBlock& block);
    bool matrix(unsigned profile, MatrixBlock& out) const;
    bool setMatrix(unsigned profile, const MatrixBlock& block);
    bool macro(unsigned slot, MacroBlock& out) const;
    bool setMacro(unsigned slot, const MacroBlock& block);

    // Change a block in memory and write it to the file as one step.
    // Profiles and slots beyond the last are refused: false, nothing changed.
    bool editOption(unsigned profile, const std::function<void(OptionBlock&)>& edit);
    bool editMatrix(unsigned profile, const std::function<void(MatrixBlock&)>& edit);
    bool editMacro(unsigned slot, const std::function<void(MacroBlock&)>& edit);

    // Profile 0's option and matrix blocks from a backup file, as `load`
    // reads them, then written to the profile file.
    void restoreDefaultProfile(const QString& backupPath);

    std::int64_t timeFlag() const;
    std::uint8_t profileId() const;
    // The current profile in memory only; ids beyond the last are refused.
    bool setProfileId(std::uint8_t profile);
    // Writes the current profile to the file.
    void saveProfileId();

private:
    template <typename Blocks, typename Edit>
    bool edit(Blocks& blocks, const char* group, unsigned index, const Edit& change);

    // Called under the lock. A failed write is warned about.
    void writeFreshFile();
    template <typename Set> bool write(const Set& set);

    template <typename F> bool locked(F&& f) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return f();
    }

    mutable std::mutex m_mutex;
    QString m_path;
    // Made again when a damaged file was kept aside: a QSettings keeps the
    // format error of the file it first read for its whole life. None when
    // the path holds something other than a regular file.
    std::unique_ptr<QSettings> m_file;
    std::array<OptionBlock, kProfiles> m_options{};
    std::array<MatrixBlock, kProfiles> m_matrices{};
    std::array<MacroBlock, kMacroSlots> m_macros{};
    std::int64_t m_timeFlag = 0;
    std::uint8_t m_profileId = 1;
};

} // namespace panel
