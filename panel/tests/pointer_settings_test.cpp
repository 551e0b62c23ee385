#include "panel/pointer_settings.h"
#include "testkit/temp_folder.h"

#include <gtest/gtest.h>

namespace {

using namespace panel;

// Pointer settings in memory that can be told to fail.
class FakePointer final : public IPointerSettings {
public:
    bool setSpeed(int s) override { return !fails && (speedValue = s, true); }
    bool speed(int& out) const override { return !fails && (out = speedValue, true); }
    bool setWheelLines(unsigned l) override { return !fails && (lines = l, true); }
    bool wheelLines(unsigned& out) const override { return !fails && (out = lines, true); }
    bool setDoubleClickMs(unsigned ms) override { return !fails && (doubleClick = ms, true); }
    unsigned doubleClickMs() const override { return doubleClick; }
    bool setMouse(const MouseTriple& m) override { return !fails && (mouseValue = m, true); }
    bool mouse(MouseTriple& out) const override { return !fails && (out = mouseValue, true); }

    bool fails = false;
    int speedValue = 10;
    unsigned lines = 3;
    unsigned doubleClick = 500;
    MouseTriple mouseValue{6, 10, 1};
};

TEST(PointerCodes, CodesBecomeSystemValues) {
    struct Case {
        std::uint8_t code;
        int speed;
        unsigned lines, doubleClickMs;
    };
    for (const Case c :
         {Case{0, 1, 1, 900}, Case{2, 4, 3, 760}, Case{5, 10, 6, 550}, Case{10, 20, 11, 200},
          Case{12, 24, 13, 60}, Case{13, 26, 14, 0}, Case{255, 510, 256, 0}}) {
        SCOPED_TRACE(int(c.code));
        FakePointer p;
        setCursorSpeed(p, c.code);
        setVerticalScrollLines(p, c.code);
        EXPECT_TRUE(setDoubleClickSpeed(p, c.code));
        EXPECT_EQ(p.speedValue, c.speed);
        EXPECT_EQ(p.lines, c.lines);
        // Codes from 13 would give a negative time: it stays at 0.
        EXPECT_EQ(p.doubleClick, c.doubleClickMs);
    }
}

TEST(PointerCodes, SystemValuesBecomeCodes) {
    struct Case {
        int speed;
        unsigned lines, doubleClickMs;
        std::uint8_t speedCode, linesCode, doubleClickCode;
    };
    for (const Case c :
         {Case{10, 3, 550, 5, 2, 5}, Case{1, 0, 900, 0, 0, 0}, Case{20, 20, 0, 10, 10, 12},
          Case{3, 1, 901, 1, 0, 0}, Case{7, 10, 5000, 3, 9, 0}}) {
        SCOPED_TRACE(c.doubleClickMs);
        FakePointer p;
        p.speedValue = c.speed;
        p.lines = c.lines;
        p.doubleClick = c.doubleClickMs;
        EXPECT_EQ(getCursorSpeed(p), c.speedCode);
        EXPECT_EQ(getVerticalScrollLines(p), c.linesCode);
        // Above 900 ms the code used to wrap to a large number.
        EXPECT_EQ(getDoubleClickSpeed(p), c.doubleClickCode);
    }
}

TEST(PointerCodes, FailuresGiveTheFallbacks) {
    FakePointer p;
    p.fails = true;
    EXPECT_EQ(getCursorSpeed(p), 5);
    EXPECT_EQ(getVerticalScrollLines(p), 2);
    EXPECT_FALSE(getAcceleration(p));
    EXPECT_FALSE(setCursorSpeed(p, 3));
    EXPECT_FALSE(setAcceleration(p, true));
}

TEST(PointerCodes, AccelerationKeepsTheThresholds) {
    FakePointer p;
    p.mouseValue = {4, 12, 1};
    EXPECT_TRUE(setAcceleration(p, false));
    EXPECT_EQ(p.mouseValue.threshold1, 4);
    EXPECT_EQ(p.mouseValue.threshold2, 12);
    EXPECT_FALSE(getAcceleration(p));
    EXPECT_TRUE(setAcceleration(p, true));
    EXPECT_TRUE(getAcceleration(p));
}

TEST(IniPointerSettings, ValuesPersistAndSpeedOutsideItsRangeIsRefused) {
    testkit::TempFolder folder;
    const QString path = QString::fromStdString((folder.path() / "pointer.ini").string());
    {
        IniPointerSettings p(path);
        EXPECT_TRUE(setCursorSpeed(p, 7));
        EXPECT_FALSE(setCursorSpeed(p, 11)); // speed 22
        EXPECT_TRUE(setVerticalScrollLines(p, 4));
        EXPECT_TRUE(setDoubleClickSpeed(p, 3));
        EXPECT_TRUE(setAcceleration(p, false));
    }
    IniPointerSettings again(path);
    EXPECT_EQ(getCursorSpeed(again), 7);
    EXPECT_EQ(getVerticalScrollLines(again), 4);
    EXPECT_EQ(getDoubleClickSpeed(again), 3);
    EXPECT_FALSE(getAcceleration(again));
}

} // namespace
