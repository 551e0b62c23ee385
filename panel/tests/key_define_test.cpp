// The key-definition page: opening, refreshing from a code, and what APPLY
// writes and returns.

#include "panel/tests/scene_fixture.h"

#include <QSignalSpy>

namespace {

using namespace panel_test;

class KeyDefinePage : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        call(root, "init");
        page = item("page_keyDefine");
    }
    // Macro files: name -> [slot, repeat, usedTimes].
    void macros(const std::vector<std::pair<QString, QVariantList>>& files) {
        for (const auto& [name, config] : files) {
            recorder.macroFiles << name;
            recorder.macroConfigs[name] = config;
        }
    }
    bool open(int keyCode, int keyCodeDefault = 0x0200F100) {
        root->setProperty("flag_show", 0x23);
        settle();
        call(root, "openKeyDefine", {2, keyCode, keyCodeDefault, "KEY 3"});
        settle();
        return root->property("flag_show").toInt() == 0x04;
    }
    // APPLY: the code it reports for key 2.
    int apply() {
        QSignalSpy saved(page, SIGNAL(saveClicked(int, int)));
        click("keyDefine_apply");
        EXPECT_EQ(saved.count(), 1);
        if (saved.count() != 1) return -1;
        EXPECT_EQ(saved[0][0].toInt(), 2);
        return saved[0][1].toInt();
    }
    QQuickItem* page = nullptr;
};

TEST_F(KeyDefinePage, OpensOnAKeyAndShowsItsMacroList) {
    macros({{"Macro 001", {4, 1, 1}}});
    EXPECT_TRUE(open(0x0A010400));
    EXPECT_TRUE(page->isVisible());
    EXPECT_EQ(page->property("tab").toInt(), 3);
    EXPECT_EQ(page->property("macroRow").toInt(), 0);
    EXPECT_FALSE(recorder.callsTo("getMacroIniNames").empty());
    click("keyDefine_close");
    EXPECT_EQ(root->property("flag_show").toInt(), 0x23);
}

TEST_F(KeyDefinePage, TheLeftButtonOpensOnlyWhenTheUserAgrees) {
    recorder.msgAnswer = false;
    EXPECT_FALSE(open(0x0200F000));
    EXPECT_EQ(recorder.callsTo("loadUiStrings(31000,msg"),
              std::vector<QString>{"loadUiStrings(31000,msg,0,2)"});
    EXPECT_EQ(recorder.callsTo("getMsgAns"),
              std::vector<QString>{"getMsgAns(Left button,Assign it?)"});
    recorder.msgAnswer = true;
    EXPECT_TRUE(open(0x0200F000));
    EXPECT_EQ(page->property("mouseRow").toInt(), 0);
}

struct ApplyCase {
    const char* name;
    int openedWith;
    std::vector<const char*> clicks;
    int code;
};

TEST_F(KeyDefinePage, ApplyBuildsTheCodeOfTheChoice) {
    const ApplyCase cases[] = {
        {"media mute", 0x0200F100, {"keyDefine_tab2", "keyDefine_media4"}, 0x0400e200},
        {"scroll down",
         0x0200F100,
         {"keyDefine_tab0", "keyDefine_dpiMenu_header", "keyDefine_mouseRow9"},
         0x05020200},
        {"repeat when pressed",
         0x0200F100,
         {"keyDefine_fireMenu_header", "keyDefine_repeat"},
         0x0C020000},
        {"disabled", 0x0200F100, {"keyDefine_disable"}, 0},
        {"nothing chosen", 0x0400b500, {"keyDefine_tab1"}, 0x0400b500},
    };
    for (const ApplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(open(c.openedWith));
        for (const char* name : c.clicks)
            click(QString(name).endsWith("_header") ? item(name) : item(QString(name) + "_area"));
        EXPECT_EQ(apply(), c.code);
    }
}

TEST_F(KeyDefinePage, AShootCountAndAKeyboardComboGoIntoTheirBytes) {
    ASSERT_TRUE(open(0x0C010300));
    EXPECT_EQ(page->property("fireChoice").toInt(), 1);
    EXPECT_EQ(page->property("shootCount").toInt(), 3);
    EXPECT_EQ(apply(), 0x0C010300);
    ASSERT_TRUE(open(0x01000400));
    EXPECT_FALSE(page->property("combo").toBool());
    click("keyDefine_combo");
    click(item("keyDefine_pressAny"));
    call(page, "captureKey", {0xE0});
    call(page, "captureKey", {0x06});
    EXPECT_EQ(apply(), 0x0100E006);
}

TEST_F(KeyDefinePage, RebindingReleasesTheOldMacroAndBindsTheLowestFreeSlot) {
    macros({{"A", {0, 1, 1}}, {"B", {1, 1, 1}}, {"C", {3, 1, 3}}, {"D", {-1, 5, 0}}});
    // Away from a macro used three times: it keeps two.
    ASSERT_TRUE(open(0x0A010300));
    click("keyDefine_tab2");
    click("keyDefine_media4");
    EXPECT_EQ(apply(), 0x0400e200);
    EXPECT_EQ(recorder.macroConfigs["C"], (QVariantList{3, 1, 2}));
    // An unassigned macro takes slot 2, the lowest no file holds.
    recorder.clear();
    ASSERT_TRUE(open(0x0400e200));
    click("keyDefine_tab3");
    click("keyDefine_macro3");
    EXPECT_EQ(apply(), 0x0A010200);
    EXPECT_EQ(recorder.macroConfigs["D"], (QVariantList{2, 5, 1}));
    EXPECT_EQ(recorder.callsTo("ui_setMacroKey"), std::vector<QString>{"ui_setMacroKey(2,D,5)"});
    // An assigned one counts one more user; the last user's release frees it.
    ASSERT_TRUE(open(0x0A010000));
    click("keyDefine_macro1");
    EXPECT_EQ(apply(), 0x0A010100);
    EXPECT_EQ(recorder.macroConfigs["A"], (QVariantList{-1, 1, 0}));
    EXPECT_EQ(recorder.macroConfigs["B"], (QVariantList{1, 1, 2}));
}

TEST_F(KeyDefinePage, WithAllSlotsTakenTheKeyKeepsItsCode) {
    std::vector<std::pair<QString, QVariantList>> files;
    for (int slot = 0; slot < 35; ++slot)
        files.push_back({QString("M%1").arg(slot, 2, 10, QChar('0')), {slot, 1, 1}});
    files.push_back({"New", {-1, 1, 0}});
    macros(files);
    ASSERT_TRUE(open(0x0400e200));
    click("keyDefine_tab3");
    // The list is longer than the page shows.
    page->setProperty("macroRow", 35);
    EXPECT_EQ(apply(), 0x0400e200);
    EXPECT_EQ(recorder.macroConfigs["New"], (QVariantList{-1, 1, 0}));
    // A key on a macro that other keys share keeps it, counted as a user.
    recorder.macroConfigs["M05"] = QVariantList{5, 1, 2};
    ASSERT_TRUE(open(0x0A010500));
    page->setProperty("macroRow", 35);
    EXPECT_EQ(apply(), 0x0A010500);
    EXPECT_EQ(recorder.macroConfigs["M05"], (QVariantList{5, 1, 2}));
    EXPECT_EQ(recorder.macroConfigs["New"], (QVariantList{-1, 1, 0}));
}

TEST_F(KeyDefinePage, DefaultAndCancelRefreshTheChoice) {
    ASSERT_TRUE(open(0x0400b500, 0x0200F200));
    click("keyDefine_media5");
    click("keyDefine_cancel");
    EXPECT_EQ(page->property("mediaRow").toInt(), 0);
    click("keyDefine_default");
    click("keyDefine_cancel");
    EXPECT_EQ(page->property("tab").toInt(), 0);
    EXPECT_EQ(page->property("mouseRow").toInt(), 2);
}

TEST_F(KeyDefinePage, ApplyAfterDefaultReleasesTheMacroTheKeyHeld) {
    macros({{"A", {6, 1, 1}}});
    ASSERT_TRUE(open(0x0A010600, 0x0200F100));
    click("keyDefine_default");
    EXPECT_EQ(apply(), 0x0200F100);
    EXPECT_EQ(recorder.macroConfigs["A"], (QVariantList{-1, 1, 0}));
}

TEST_F(KeyDefinePage, ApplyWithNothingChosenKeepsTheMacroBinding) {
    macros({{"A", {6, 1, 2}}});
    ASSERT_TRUE(open(0x0A010600));
    click("keyDefine_tab1");
    EXPECT_EQ(apply(), 0x0A010600);
    EXPECT_TRUE(recorder.callsTo("setMacroIniConfig").empty());
}

TEST_F(KeyDefinePage, TheMacroTabSaysWhenThereAreNoMacros) {
    ASSERT_TRUE(open(0x0200F100));
    click("keyDefine_tab3");
    EXPECT_EQ(page->property("macroRow").toInt(), -1);
    EXPECT_EQ(apply(), 0x0200F100);
}

} // namespace
