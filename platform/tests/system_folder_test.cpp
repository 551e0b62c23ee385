#include "platform/io/system_folder.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/test_checks.h"
#include "platform/testing/kernel_checks.h"
#include "testkit/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

} // namespace
