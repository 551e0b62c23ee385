// The user-mode client: opening the toy driver's interface by class and
// reference string, device controls with outputs shorter and longer than the
// driver's answer, closing, and interfaces that are not there.
#include "sim/os/tests/toy_world.h"
#include "sim/os/user_client.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

namespace {

using namespace kernel;
using Bytes = std::vector<std::uint8_t>;
using Journal = std::vector<std::string>;

class UserClientTest : public ossim::testing::ToyWorldTest {
protected:
    std::uint32_t openToy() {
        std::uint32_t file = 0;
        EXPECT_EQ(client->open(toy::controlInterface, toy::referenceString, &file), STATUS_SUCCESS);
        return file;
    }

    Bytes patternOf(std::uint32_t count) {
        Bytes bytes(count);
        for (std::uint32_t i = 0; i < count; ++i) bytes[i] = toy::patternByte(i);
        return bytes;
    }

    static Bytes countInput(std::uint32_t count) {
        Bytes input(4);
        std::memcpy(input.data(), &count, 4);
        return input;
    }

    // Ends before the host takes the stack down.
    std::optional<ossim::UserClient> client{std::in_place, clock};
};

TEST_F(UserClientTest, OpensTheInterfaceAsAFileNamedByItsReferenceStringWhateverTheCase) {
    bringUp();
    EXPECT_NE(openToy(), 0u);
    std::uint32_t second = 0;
    EXPECT_EQ(client->open(toy::controlInterface, u"toycontrol", &second), STATUS_SUCCESS);
    EXPECT_EQ(toy::journal(), (Journal{"create \\ToyControl", "create \\ToyControl"}));
}

struct Transfer {
    const char* name;
    std::uint32_t asked;        // pattern bytes the input asks for
    std::uint32_t outputLength; // room the client gives
    NTSTATUS status;
    std::uint32_t returned; // bytes that come back
};

void PrintTo(const Transfer& t, std::ostream* out) { *out << t.name; }

const Transfer transfers[] = {
    {"short answer into a long buffer", 6, 64, STATUS_SUCCESS, 6},
    {"answer that fills the buffer", 64, 64, STATUS_SUCCESS, 64},
    {"long answer into a short buffer", 4000, 16, STATUS_BUFFER_OVERFLOW, 16},
    {"long answer into a long buffer", 70000, 70000, STATUS_SUCCESS, 70000},
    {"no room at all", 10, 0, STATUS_BUFFER_OVERFLOW, 0},
};

class TransferTest : public UserClientTest, public ::testing::WithParamInterface<Transfer> {};

TEST_P(TransferTest, TheOutputComesBackUpToTheDriversCountAndTheRoomGiven) {
    const Transfer& t = GetParam();
    bringUp();
    const std::uint32_t file = openToy();
    const ossim::ControlResult result =
        client->control(file, toy::patternCode, countInput(t.asked), t.outputLength);
    EXPECT_EQ(result.status, t.status);
    EXPECT_EQ(result.information, t.returned);
    EXPECT_EQ(result.output, patternOf(t.returned));
}

INSTANTIATE_TEST_SUITE_P(Buffers, TransferTest, ::testing::ValuesIn(transfers));

TEST_F(UserClientTest, AnErrorBringsNoOutputBackButTheDriversCount) {
    bringUp();
    const std::uint32_t file = openToy();
    const ossim::ControlResult refused = client->control(file, toy::identifyCode, {}, 4);
    EXPECT_EQ(refused.status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(refused.information, 8u);
    EXPECT_TRUE(refused.output.empty());

    const ossim::ControlResult identity = client->control(file, toy::identifyCode, {}, 8);
    ASSERT_EQ(identity.status, STATUS_SUCCESS);
    EXPECT_EQ(identity.output, (Bytes{0x03, 0x01, 0, 0, 1, 0, 0, 0})); // version, one file
    EXPECT_EQ(client->control(file + 4, toy::identifyCode, {}, 8).status, STATUS_INVALID_HANDLE);
    EXPECT_EQ(client->control(file, 0x220000 | (0x902 << 2), {}, 8).status,
              STATUS_INVALID_DEVICE_REQUEST);
}

TEST_F(UserClientTest, ClosingSendsCleanupThenCloseAndTheDriverLetsTheFileGo) {
    bringUp();
    const std::uint32_t first = openToy();
    const std::uint32_t second = openToy();
    EXPECT_EQ(client->close(first), STATUS_SUCCESS);
    EXPECT_EQ(client->close(first), STATUS_INVALID_HANDLE);
    EXPECT_EQ(client->control(second, toy::identifyCode, {}, 8).output[4], 1); // one file left
    client.reset(); // the process ends with the second file open
    EXPECT_EQ(toy::journal(), (Journal{"create \\ToyControl", "create \\ToyControl", "cleanup",
                                       "close", "cleanup", "close"}));
}

struct Absent {
    const char* name;
    ossim::testing::Step prepare;
    kernel::Guid interfaceClass;
    const char16_t* referenceString;
};

void PrintTo(const Absent& a, std::ostream* out) { *out << a.name; }

using namespace ossim::testing::steps;

constexpr kernel::Guid otherClass = kernel::makeGuid("{CCEFC4C3-9FC5-4C3C-A477-53EF8EFD3A3F}");

const Absent absentInterfaces[] = {
    {"no driver", nothing, toy::controlInterface, toy::referenceString},
    {"registered, not yet enabled", added, toy::controlInterface, toy::referenceString},
    {"disabled by surprise removal", surpriseRemoved, toy::controlInterface, toy::referenceString},
    {"another reference string", started, toy::controlInterface, u"ToyControl2"},
    {"no reference string", started, toy::controlInterface, u""},
    {"another class", started, otherClass, toy::referenceString},
};

class AbsentTest : public UserClientTest, public ::testing::WithParamInterface<Absent> {};

TEST_P(AbsentTest, AnInterfaceThatIsAbsentOrDisabledIsNotFoundAndNoCreateIsSent) {
    const Absent& a = GetParam();
    a.prepare(host, physical.device());
    toy::clearJournal();
    std::uint32_t file = 99;
    EXPECT_EQ(client->open(a.interfaceClass, a.referenceString, &file),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(file, 0u);
    EXPECT_TRUE(toy::journal().empty());
}

INSTANTIATE_TEST_SUITE_P(Interfaces, AbsentTest, ::testing::ValuesIn(absentInterfaces));

} // namespace
