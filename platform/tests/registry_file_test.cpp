#include "platform/io/registry.h"
#include "platform/io/registry_file.h"
#include "platform/io/registry_text.h"
#include "platform/kernel/debug_print.h"
#include "testkit/guarded_fifo.h"
#include "testkit/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace {

using namespace kernel;
using namespace io;

constexpr char contents[] = "\\Registry\n"
                            "\\Registry\\Machine\n"
                            "\\Registry\\Machine\\Settings\n"
                            "  \"IniVersion\" binary 03 00 00 00\n";
// The file that keeps it: the key lines a load needs, then the end line.
constexpr char savedContents[] = "\\Registry\n"
                                 "\\Registry\\Machine\\Settings\n"
                                 "  \"IniVersion\" binary 03 00 00 00\n"
                                 "end\n";

// One run of the program: a registry of its own kept in a file.
struct ProgramRun {
    explicit ProgramRun(const std::filesystem::path& file) : keeper(file) {}

    Registry registry;
    RegistryFile keeper;
    std::string message;
};

class RegistryFileTest : public ::testing::Test {
protected:
    std::filesystem::path file() const { return folder.path() / "registry.txt"; }

    testkit::TempFolder folder;
};

TEST_F(RegistryFileTest, ASavedRegistryLoadsIntoTheNextRun) {
    {
        ProgramRun run(file());
        ASSERT_EQ(run.keeper.load(run.message), STATUS_SUCCESS) << run.message; // no file yet
        ASSERT_EQ(loadRegistry(contents), STATUS_SUCCESS);
        ASSERT_EQ(run.keeper.save(run.message), STATUS_SUCCESS) << run.message;
    }
    EXPECT_EQ(folder.read("registry.txt"), savedContents);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "registry.txt.new"));

    ProgramRun run(file());
    ASSERT_EQ(run.keeper.load(run.message), STATUS_SUCCESS) << run.message;
    EXPECT_EQ(dumpRegistry(), contents);
}

TEST_F(RegistryFileTest, AFlushSavesTheRegistry) {
    ProgramRun run(file());
    ASSERT_EQ(loadRegistry(contents), STATUS_SUCCESS);
    RegistryKey key;
    ASSERT_EQ(openKey(key, makeUnicodeString(u"\\Registry\\Machine\\Settings")), STATUS_SUCCESS);
    EXPECT_EQ(flushKey(key), STATUS_SUCCESS);
    EXPECT_EQ(folder.read("registry.txt"), savedContents);
}

TEST_F(RegistryFileTest, AWriteCutShortBesideTheFileLosesNothing) {
    folder.write("registry.txt", std::string(contents) + "end\n");
    folder.write("registry.txt.new", "\\Registry\\Machine\\Half");
    ProgramRun run(file());
    ASSERT_EQ(run.keeper.load(run.message), STATUS_SUCCESS) << run.message;
    EXPECT_EQ(dumpRegistry(), contents);
    ASSERT_EQ(run.keeper.save(run.message), STATUS_SUCCESS) << run.message;
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "registry.txt.new"));
}

struct Damage {
    const char* what;
    std::string text;
    const char* fault;
};

TEST_F(RegistryFileTest, ADamagedFileIsRefusedAndKeptAside) {
    const Damage cases[] = {
        {"cut short", std::string(contents), "it does not end with its end line"},
        {"cut inside the end line", std::string(contents) + "en", "it does not end"},
        {"a bad line", std::string(contents) + "garbage\nend\n", "line 5: neither"},
        {"not a registry file", "[VERSION]\r\nend\n", "line 1: a character outside"},
    };
    int damaged = 0;
    for (const Damage& c : cases) {
        SCOPED_TRACE(c.what);
        folder.write("registry.txt", c.text);
        Registry registry;
        ASSERT_EQ(loadRegistry("\\Registry\\Before\n"), STATUS_SUCCESS);
        RegistryFile keeper(file());
        std::string message;
        EXPECT_EQ(keeper.load(message), STATUS_FILE_CORRUPT_ERROR);
        const std::string aside =
            "registry.txt.damaged" + (damaged++ == 0 ? "" : "-" + std::to_string(damaged));
        EXPECT_NE(message.find(c.fault), std::string::npos) << message;
        EXPECT_NE(message.find("kept as " + (folder.path() / aside).string()), std::string::npos)
            << message;
        EXPECT_EQ(folder.read(aside), c.text);
        EXPECT_EQ(dumpRegistry(), "\\Registry\n\\Registry\\Before\n");

        // The next save makes a new file and leaves the damaged one alone.
        EXPECT_EQ(keeper.save(message), STATUS_SUCCESS) << message;
        EXPECT_EQ(folder.read(aside), c.text);
    }
}

TEST_F(RegistryFileTest, ADamagedFileThatCannotBeMovedIsNeverWrittenOver) {
    // A name so long that the name it would be kept under is too long for the folder.
    const std::string name(250, 'r');
    folder.write(name, "garbage\n");
    ProgramRun run(folder.path() / name);
    EXPECT_EQ(run.keeper.load(run.message), STATUS_FILE_CORRUPT_ERROR);
    EXPECT_NE(run.message.find("will not be written over"), std::string::npos) << run.message;
    EXPECT_EQ(run.keeper.save(run.message), STATUS_REGISTRY_IO_FAILED);
    EXPECT_NE(run.message.find("could not be kept aside"), std::string::npos) << run.message;
    EXPECT_EQ(folder.read(name), "garbage\n");
}

TEST_F(RegistryFileTest, ASaveThatCannotWriteLeavesTheFileAndSaysWhy) {
    ProgramRun run(folder.path() / "missing" / "registry.txt");
    EXPECT_EQ(run.keeper.save(run.message), STATUS_REGISTRY_IO_FAILED);
    EXPECT_NE(run.message.find("cannot create"), std::string::npos) << run.message;

    RegistryKey key;
    ASSERT_EQ(createKey(key, makeUnicodeString(u"\\Registry\\Machine")), STATUS_SUCCESS);
    EXPECT_EQ(flushKey(key), STATUS_REGISTRY_IO_FAILED);
    ASSERT_EQ(debugLog().size(), 1u);
    EXPECT_TRUE(debugLog()[0].starts_with("Registry flush failed: cannot create"));
}

TEST_F(RegistryFileTest, AFileThatCannotBeReadIsAnError) {
    std::filesystem::create_directory(file());
    ProgramRun run(file());
    EXPECT_EQ(run.keeper.load(run.message), STATUS_REGISTRY_IO_FAILED);
    EXPECT_NE(run.message.find("cannot read"), std::string::npos) << run.message;
}

// A key line levels deep below "\Registry", each name "k".
std::string keyLevelsDeep(std::size_t levels) {
    std::string line = "\\Registry";
    for (std::size_t i = 0; i < levels; ++i) line += "\\k";
    return line + "\n";
}

TEST_F(RegistryFileTest, AFileAtTheRegistrysLimitsLoadsAndSavesAsItWas) {
    const std::string longestName(maxKeyNameChars, 'n');
    const std::string text = "\\Registry\n" + keyLevelsDeep(maxKeyDepth) + "  \"" +
                             std::string(maxValueNameChars, 'v') + "\" binary 01\n" +
                             "\\Registry\\" + longestName + "\nend\n";
    folder.write("registry.txt", text);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ProgramRun program(file());
        ASSERT_EQ(program.keeper.load(program.message), STATUS_SUCCESS) << program.message;
        EXPECT_EQ(program.message, "");
        RegistryKey key;
        const std::u16string longestPath = u"\\Registry\\" + std::u16string(maxKeyNameChars, u'N');
        EXPECT_EQ(openKey(key, makeUnicodeString(longestPath.c_str())), STATUS_SUCCESS);
        ASSERT_EQ(program.keeper.save(program.message), STATUS_SUCCESS) << program.message;
        EXPECT_EQ(folder.read("registry.txt"), text);
    }
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "registry.txt.damaged"));
}

// Each key of a one-line file is saved within the same line, so the file
// keeps its size however deep the line goes.
TEST_F(RegistryFileTest, ASavedFileGrowsWithTheFileNotWithTheSquareOfItsDepth) {
    for (const std::size_t levels : {1u, 64u, 512u}) {
        SCOPED_TRACE(levels);
        const std::string text = "\\Registry\n" + keyLevelsDeep(levels) + "end\n";
        folder.write("registry.txt", text);
        ProgramRun run(file());
        ASSERT_EQ(run.keeper.load(run.message), STATUS_SUCCESS) << run.message;
        ASSERT_EQ(run.keeper.save(run.message), STATUS_SUCCESS) << run.message;
        EXPECT_EQ(folder.read("registry.txt"), text);
        const std::string dump = dumpRegistry();
        EXPECT_EQ(static_cast<std::size_t>(std::count(dump.begin(), dump.end(), '\n')), levels + 1);
    }
}

TEST_F(RegistryFileTest, WhatTheRegistryCannotHoldIsLeftOutAndTheFileKeptAside) {
    const std::string text = "\\Registry\\Machine\\Before\n"
                             "  \"Kept\" binary 01\n" +
                             keyLevelsDeep(12000) + "  \"Deep\" binary 02\n" +
                             keyLevelsDeep(maxKeyDepth + 1) + "\\Registry\\Machine\\" +
                             std::string(maxKeyNameChars + 1, 'n') + "\\Under\n" +
                             "\\Registry\\Machine\\After\n"
                             "  \"" +
                             std::string(maxValueNameChars + 1, 'v') + "\" binary 03\n" +
                             "  \"Kept\" binary 04\n"
                             "end\n";
    folder.write("registry.txt", text);
    ProgramRun run(file());
    clearDebugLog();
    ASSERT_EQ(run.keeper.load(run.message), STATUS_SUCCESS) << run.message;
    const std::string path = file().string();
    EXPECT_EQ(run.message,
              "registry file " + path +
                  " holds what the registry cannot (line 3: a key deeper than 512 levels below "
                  "\\Registry; the key and its values are left out; line 5: a key deeper than "
                  "512 levels below \\Registry; the key and its values are left out; line 6: a "
                  "key name longer than 255 characters; the key and its values are left out; "
                  "line 8: a value name longer than 16383 characters; the value is left out); "
                  "the rest was loaded, and the file as it was is kept as " +
                  path + ".damaged");
    ASSERT_EQ(debugLog().size(), 1u);
    EXPECT_TRUE(debugLog()[0].starts_with("Registry file partly loaded: registry file " + path))
        << debugLog()[0];
    const std::string rest = "\\Registry\n"
                             "\\Registry\\Machine\\After\n"
                             "  \"Kept\" binary 04\n"
                             "\\Registry\\Machine\\Before\n"
                             "  \"Kept\" binary 01\n";
    EXPECT_EQ(dumpRegistry(u"\\Registry", KeyLines::Needed), rest);
    EXPECT_EQ(folder.read("registry.txt.damaged"), text);

    // The next save keeps the rest and leaves the copy alone.
    ASSERT_EQ(run.keeper.save(run.message), STATUS_SUCCESS) << run.message;
    EXPECT_EQ(folder.read("registry.txt"), rest + "end\n");
    EXPECT_EQ(folder.read("registry.txt.damaged"), text);
}

TEST_F(RegistryFileTest, AFileWithLinesLeftOutThatCannotBeCopiedIsNeverWrittenOver) {
    // A name so long that the name its copy would be kept under is too long for the folder.
    const std::string name(250, 'r');
    const std::string text = "\\Registry\\Kept\n" + keyLevelsDeep(maxKeyDepth + 1) + "end\n";
    folder.write(name, text);
    ProgramRun run(folder.path() / name);
    EXPECT_EQ(run.keeper.load(run.message), STATUS_SUCCESS);
    EXPECT_NE(run.message.find("line 2: a key deeper"), std::string::npos) << run.message;
    EXPECT_NE(run.message.find("could not be kept aside"), std::string::npos) << run.message;
    EXPECT_EQ(dumpRegistry(), "\\Registry\n\\Registry\\Kept\n");
    EXPECT_EQ(run.keeper.save(run.message), STATUS_REGISTRY_IO_FAILED);
    EXPECT_NE(run.message.find("could not be kept aside"), std::string::npos) << run.message;
    EXPECT_EQ(folder.read(name), text);
}

struct Entry {
    const char* what;
    // Puts something in place of "registry.txt"; what it returns lives until the case ends.
    std::function<std::shared_ptr<void>(const testkit::TempFolder& folder)> make;
    const char* reason; // null: the file loads
};

TEST_F(RegistryFileTest, OnlyARegularFileOfItsFolderLoadsAndNothingElseIsWrittenOver) {
    testkit::TempFolder outside;
    outside.write("registry.txt", std::string(contents) + "end\n");
    const auto linkTo = [](const testkit::TempFolder& f, const std::filesystem::path& to) {
        std::filesystem::create_symlink(to, f.path() / "registry.txt");
        return std::shared_ptr<void>();
    };
    const Entry cases[] = {
        {"a link to a file of the folder",
         [&](auto& f) {
             return f.write("real.txt", std::string(contents) + "end\n"), linkTo(f, "real.txt");
         },
         nullptr},
        {"a FIFO",
         [](auto& f) {
             return std::static_pointer_cast<void>(
                 std::make_shared<testkit::GuardedFifo>(f.path() / "registry.txt"));
         },
         "a FIFO, not a regular file"},
        {"a link to a device", [&](auto& f) { return linkTo(f, "/dev/zero"); }, "(to /dev/zero)"},
        {"a link leading outside",
         [&](auto& f) { return linkTo(f, outside.path() / "registry.txt"); },
         "a link leading outside"},
        {"a directory", [](auto& f) { return f.write("registry.txt/x", ""), nullptr; },
         "a directory, not a regular file"},
    };
    for (const Entry& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::TempFolder here;
        const std::shared_ptr<void> keep = c.make(here);
        const auto type = std::filesystem::symlink_status(here.path() / "registry.txt").type();
        Registry registry;
        ASSERT_EQ(loadRegistry("\\Registry\\Before\n"), STATUS_SUCCESS);
        RegistryFile keeper(here.path() / "registry.txt");
        std::string message;
        clearDebugLog();
        if (c.reason == nullptr) {
            EXPECT_EQ(keeper.load(message), STATUS_SUCCESS) << message;
            EXPECT_NE(dumpRegistry().find("\"IniVersion\" binary 03"), std::string::npos);
            EXPECT_TRUE(debugLog().empty());
            continue;
        }
        EXPECT_EQ(keeper.load(message), STATUS_REGISTRY_IO_FAILED);
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        EXPECT_EQ(dumpRegistry(), "\\Registry\n\\Registry\\Before\n");
        ASSERT_EQ(debugLog().size(), 1u);
        EXPECT_EQ(debugLog()[0], "Registry file refused: " + message + "\n");
        EXPECT_NE(debugLog()[0].find((here.path() / "registry.txt").string()), std::string::npos);

        // Saves never replace it.
        EXPECT_EQ(keeper.save(message), STATUS_REGISTRY_IO_FAILED);
        EXPECT_NE(message.find("not written: it is "), std::string::npos) << message;
        EXPECT_EQ(std::filesystem::symlink_status(here.path() / "registry.txt").type(), type);
    }
    EXPECT_EQ(outside.read("registry.txt"), std::string(contents) + "end\n");
}

} // namespace
