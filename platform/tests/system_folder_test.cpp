#include "platform/io/system_folder.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/test_checks.h"
#include "platform/testing/kernel_checks.h"
#include "testkit/guarded_fifo.h"
#include "testkit/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>

namespace {

using namespace kernel;
using namespace io;

class SystemFolderTest : public ::testing::Test {
protected:
    NTSTATUS open(FileHandle& file, const char16_t* path) {
        return openFile(file, makeUnicodeString(path));
    }

    testkit::TempFolder folder;
    SystemRoot root{folder.path()};
};

TEST_F(SystemFolderTest, NamesCompareWithoutRegardToCase) {
    folder.write("Sub/Settings.Ini", "abc");
    FileHandle file;
    EXPECT_EQ(open(file, u"\\SystemRoot\\SUB\\settings.INI"), STATUS_SUCCESS);
    EXPECT_TRUE(file.isOpen());
    EXPECT_EQ(open(file, u"\\systemroot\\sub\\SETTINGS.ini"), STATUS_SUCCESS);
}

TEST_F(SystemFolderTest, TheSpellingAskedForWinsOverOtherCases) {
    folder.write("b.ini", "lower");
    folder.write("B.INI", "upper");
    folder.write("B.ini", "mixed");
    const struct {
        const char16_t* path;
        const char* contents;
    } cases[] = {
        {u"\\SystemRoot\\b.ini", "lower"},
        {u"\\SystemRoot\\B.ini", "mixed"},
        {u"\\SystemRoot\\b.INI", "upper"}, // first in byte order
    };
    for (const auto& c : cases) {
        FileHandle file;
        ASSERT_EQ(open(file, c.path), STATUS_SUCCESS);
        char buffer[8] = {};
        IoStatusBlock status;
        EXPECT_EQ(readFile(file, buffer, 5, 0, &status), STATUS_SUCCESS);
        EXPECT_STREQ(buffer, c.contents);
    }
}

TEST_F(SystemFolderTest, ReadsAtAnOffsetAndEndOfFileIsAnError) {
    folder.write("data.bin", "0123456789");
    FileHandle file;
    ASSERT_EQ(open(file, u"\\SystemRoot\\data.bin"), STATUS_SUCCESS);
    const struct {
        std::int64_t offset;
        std::uint32_t length;
        NTSTATUS status;
        std::uintptr_t count;
        const char* bytes;
    } cases[] = {
        {0, 4, STATUS_SUCCESS, 4, "0123"},        {7, 1, STATUS_SUCCESS, 1, "7"},
        {8, 5, STATUS_SUCCESS, 2, "89"},          {10, 1, STATUS_END_OF_FILE, 0, ""},
        {1000, 1, STATUS_END_OF_FILE, 0, ""},     {3, 0, STATUS_SUCCESS, 0, ""},
        {-1, 1, STATUS_INVALID_PARAMETER, 0, ""}, {INT64_MAX, 1, STATUS_INVALID_PARAMETER, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        char buffer[16] = {};
        IoStatusBlock status{STATUS_PENDING, 99};
        EXPECT_EQ(readFile(file, buffer, c.length, c.offset, &status), c.status);
        EXPECT_EQ(status.status, c.status);
        EXPECT_EQ(status.information, c.count);
        EXPECT_STREQ(buffer, c.bytes);
    }
    FileHandle closed;
    IoStatusBlock status;
    char byte = 0;
    EXPECT_EQ(readFile(closed, &byte, 1, 0, &status), STATUS_INVALID_HANDLE);
    EXPECT_EQ(readFile(file, nullptr, 1, 0, &status), STATUS_INVALID_PARAMETER);
}

TEST_F(SystemFolderTest, PathsThatLeaveOrMisnameTheFolderAreRefused) {
    folder.write("a.ini", "x");
    folder.write("sub/b.ini", "x");
    const struct {
        const char16_t* path;
        NTSTATUS status;
    } cases[] = {
        {u"\\SystemRoot\\..\\a.ini", STATUS_OBJECT_NAME_INVALID},
        {u"\\SystemRoot\\sub\\..\\a.ini", STATUS_OBJECT_NAME_INVALID},
        {u"\\SystemRoot\\.\\a.ini", STATUS_OBJECT_NAME_INVALID},
        {u"\\SystemRoot\\", STATUS_OBJECT_NAME_INVALID},
        {u"\\SystemRoot\\sub\\\\b.ini", STATUS_OBJECT_NAME_INVALID},
        {u"\\SystemRoot\\sub/b.ini", STATUS_OBJECT_NAME_INVALID},
        {u"\\SystemRoot", STATUS_OBJECT_PATH_NOT_FOUND},
        {u"\\??\\C:\\a.ini", STATUS_OBJECT_PATH_NOT_FOUND},
        {u"a.ini", STATUS_OBJECT_PATH_NOT_FOUND},
        {u"\\SystemRoot\\none\\b.ini", STATUS_OBJECT_PATH_NOT_FOUND},
        {u"\\SystemRoot\\a.ini\\b.ini", STATUS_OBJECT_PATH_NOT_FOUND},
        {u"\\SystemRoot\\none.ini", STATUS_OBJECT_NAME_NOT_FOUND},
        {u"\\SystemRoot\\sub", STATUS_FILE_IS_A_DIRECTORY},
    };
    for (const auto& c : cases) {
        FileHandle file;
        EXPECT_EQ(open(file, c.path), c.status)
            << std::string(c.path, c.path + std::char_traits<char16_t>::length(c.path));
        EXPECT_FALSE(file.isOpen());
    }
    const char16_t withZero[] = u"\\SystemRoot\\a.ini\0x";
    FileHandle file;
    EXPECT_EQ(openFile(file, UnicodeString{38, 40, const_cast<char16_t*>(withZero)}),
              STATUS_OBJECT_NAME_INVALID);
}

TEST_F(SystemFolderTest, ASecondFolderIsRefusedAndLeavesTheFirstInForce) {
    folder.write("a.ini", "x");
    {
        kernel::testing::ExpectKernelChecks checks;
        testkit::TempFolder other;
        SystemRoot second(other.path());
        EXPECT_EQ(checks.count(), 1u);
    }
    FileHandle file;
    EXPECT_EQ(open(file, u"\\SystemRoot\\a.ini"), STATUS_SUCCESS);
}

TEST_F(SystemFolderTest, ATestThatLeavesAFileOpenIsTold) {
    folder.write("kept.ini", "1");
    FileHandle before;
    ASSERT_EQ(open(before, u"\\SystemRoot\\kept.ini"), STATUS_SUCCESS);
    const auto checks = registeredTestChecks();
    const auto check = std::find_if(checks.begin(), checks.end(), [](const TestCheck& c) {
        return std::string(c.name) == "open files";
    });
    ASSERT_NE(check, checks.end());
    check->beforeTest(); // files open before a test are not its own
    EXPECT_EQ(check->afterTest(), "");
    FileHandle left;
    ASSERT_EQ(open(left, u"\\SystemRoot\\KEPT.INI"), STATUS_SUCCESS);
    EXPECT_EQ(check->afterTest(), "file(s) left open: \\SystemRoot\\KEPT.INI");
    left.close();
    EXPECT_EQ(check->afterTest(), "");
}

TEST_F(SystemFolderTest, FilesAreForPassiveLevelOnly) {
    folder.write("a.ini", "x");
    FileHandle file;
    ASSERT_EQ(open(file, u"\\SystemRoot\\a.ini"), STATUS_SUCCESS);
    kernel::testing::ExpectKernelChecks checks;
    const IrqlScope dispatch(Irql::Dispatch);
    FileHandle other;
    EXPECT_EQ(open(other, u"\\SystemRoot\\a.ini"), STATUS_UNSUCCESSFUL);
    char byte = 0;
    IoStatusBlock status;
    EXPECT_EQ(readFile(file, &byte, 1, 0, &status), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(checks.count(), 2u);
}

TEST(SystemFolder, WithoutAFolderNothingIsFound) {
    FileHandle file;
    EXPECT_EQ(openFile(file, makeUnicodeString(u"\\SystemRoot\\a.ini")),
              STATUS_OBJECT_PATH_NOT_FOUND);
}

TEST_F(SystemFolderTest, OpenFilesAreListedUntilClosed) {
    folder.write("one.ini", "1");
    folder.write("two.ini", "2");
    FileHandle one;
    FileHandle two;
    ASSERT_EQ(open(one, u"\\SystemRoot\\ONE.ini"), STATUS_SUCCESS);
    ASSERT_EQ(open(two, u"\\SystemRoot\\two.ini"), STATUS_SUCCESS);
    EXPECT_EQ(openFilePaths(),
              (std::vector<std::string>{"\\SystemRoot\\ONE.ini", "\\SystemRoot\\two.ini"}));
    FileHandle moved = std::move(one);
    EXPECT_FALSE(one.isOpen());
    moved.close();
    EXPECT_EQ(openFilePaths(), std::vector<std::string>{"\\SystemRoot\\two.ini"});
    ASSERT_EQ(open(two, u"\\SystemRoot\\missing.ini"), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_TRUE(openFilePaths().empty()); // opening with an open handle closes it first
}

// Every entry of the folder a reader may be handed in place of a file.
struct EntryCase {
    const char* what;
    // Makes "\SystemRoot\x.ini"; what it returns lives until the case ends.
    std::function<std::shared_ptr<void>(const testkit::TempFolder& folder)> make;
    NTSTATUS status;
    const char* printed; // the reason in the debug print; null: none
};

std::shared_ptr<void> link(const testkit::TempFolder& folder, const std::filesystem::path& to,
                           const char* name = "x.ini") {
    std::filesystem::create_symlink(to, folder.path() / name);
    return nullptr;
}

TEST(SystemFolder, OnlyRegularFilesInsideTheFolderOpen) {
    testkit::TempFolder outside;
    outside.write("x.ini", "outside");
    const EntryCase cases[] = {
        {"a file", [](auto& f) { return f.write("x.ini", "inside"), nullptr; }, STATUS_SUCCESS,
         nullptr},
        {"a link to a file inside",
         [](auto& f) { return f.write("real.ini", "inside"), link(f, "real.ini"); }, STATUS_SUCCESS,
         nullptr},
        {"a link through a folder inside",
         [](auto& f) {
             f.write("sub/real.ini", "inside");
             return link(f, f.path() / "sub" / ".." / "sub" / "real.ini");
         },
         STATUS_SUCCESS, nullptr},
        {"a link leading outside",
         [&outside](auto& f) { return link(f, outside.path() / "x.ini"); }, STATUS_ACCESS_DENIED,
         "a link leading outside"},
        {"a relative link leading outside",
         [&outside](auto& f) {
             return link(f, std::filesystem::path("..") / outside.path().filename() / "x.ini");
         },
         STATUS_ACCESS_DENIED, "a link leading outside"},
        {"a link to a device", [](auto& f) { return link(f, "/dev/zero"); }, STATUS_ACCESS_DENIED,
         "(to /dev/zero)"},
        {"a link to nothing", [](auto& f) { return link(f, "missing.ini"); },
         STATUS_OBJECT_NAME_NOT_FOUND, nullptr},
        {"a FIFO",
         [](auto& f) {
             return std::static_pointer_cast<void>(
                 std::make_shared<testkit::GuardedFifo>(f.path() / "x.ini"));
         },
         STATUS_OBJECT_TYPE_MISMATCH, "a FIFO, not a regular file"},
        {"a link to a FIFO inside",
         [](auto& f) {
             auto fifo = std::make_shared<testkit::GuardedFifo>(f.path() / "pipe");
             link(f, "pipe");
             return std::static_pointer_cast<void>(fifo);
         },
         STATUS_OBJECT_TYPE_MISMATCH, "a FIFO, not a regular file"},
        {"a directory", [](auto& f) { return f.write("x.ini/y", ""), nullptr; },
         STATUS_FILE_IS_A_DIRECTORY, "a directory, not a regular file"},
        {"a link to a directory", [](auto& f) { return f.write("d/y", ""), link(f, "d"); },
         STATUS_FILE_IS_A_DIRECTORY, "a directory, not a regular file"},
    };
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::TempFolder folder;
        const SystemRoot root(folder.path());
        const std::shared_ptr<void> keep = c.make(folder);
        clearDebugLog();
        FileHandle file;
        EXPECT_EQ(openFile(file, makeUnicodeString(u"\\SystemRoot\\x.ini")), c.status);
        EXPECT_EQ(file.isOpen(), c.status == STATUS_SUCCESS);
        if (c.status == STATUS_SUCCESS) {
            char text[8] = {};
            IoStatusBlock status;
            EXPECT_EQ(readFile(file, text, 7, 0, &status), STATUS_SUCCESS);
            EXPECT_STREQ(text, "inside");
        }
        file.close();
        const std::vector<std::string> log = debugLog();
        if (c.printed == nullptr) {
            EXPECT_TRUE(log.empty()) << log.front();
        } else {
            ASSERT_EQ(log.size(), 1u);
            EXPECT_TRUE(log[0].starts_with("System folder: \\SystemRoot\\x.ini refused: "))
                << log[0];
            EXPECT_NE(log[0].find(c.printed), std::string::npos) << log[0];
        }
    }
}

TEST_F(SystemFolderTest, ReadsOfAnySizeGiveTheFileByteForByte) {
    // Larger than the read-ahead, so reads cross its edges.
    std::string bytes(200 * 1024 + 7, '\0');
    std::mt19937 random(31);
    for (char& b : bytes) b = static_cast<char>(random());
    folder.write("big.bin", bytes);
    FileHandle file;
    ASSERT_EQ(open(file, u"\\SystemRoot\\big.bin"), STATUS_SUCCESS);
    std::int64_t size = 0;
    ASSERT_EQ(queryFileSize(file, &size), STATUS_SUCCESS);
    EXPECT_EQ(size, static_cast<std::int64_t>(bytes.size()));

    std::string byByte(bytes.size(), '\0');
    IoStatusBlock status;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(readFile(file, &byByte[i], 1, static_cast<std::int64_t>(i), &status),
                  STATUS_SUCCESS);
    EXPECT_EQ(byByte, bytes);
    EXPECT_EQ(readFile(file, &byByte[0], 1, size, &status), STATUS_END_OF_FILE);

    // Backwards, forwards and whole: each read matches the file wherever the last one was.
    const struct {
        std::int64_t offset;
        std::uint32_t length;
    } reads[] = {{size - 3, 10}, {5, 4}, {65530, 20}, {0, 70000}, {65536, 1}, {3, 300000}};
    for (const auto& r : reads) {
        SCOPED_TRACE(r.offset);
        std::string got(r.length, '\0');
        ASSERT_EQ(readFile(file, got.data(), r.length, r.offset, &status), STATUS_SUCCESS);
        const std::string expected = bytes.substr(static_cast<std::size_t>(r.offset), r.length);
        EXPECT_EQ(status.information, expected.size());
        EXPECT_EQ(got.substr(0, expected.size()), expected);
    }
    FileHandle closed;
    EXPECT_EQ(queryFileSize(closed, &size), STATUS_INVALID_HANDLE);
    EXPECT_EQ(queryFileSize(file, nullptr), STATUS_INVALID_PARAMETER);
}

} // namespace
