// The macro manager, which the scene compiles in but does not show: a test
// creates it in the scene's context and drives it.

#include "panel/file_counts.h"
#include "panel/tests/scene_fixture.h"

#include <QSignalSpy>

namespace {

using namespace panel_test;

class MacroPage : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        recorder.macroFiles = QStringList{"Macro 001", "Jump"};
        recorder.macroConfigs["Macro 001"] = QVariantList{-1, 4, 0};
        recorder.macroConfigs["Jump"] = QVariantList{2, 1, 1};
        recorder.macroLines["Jump"] =
            QStringList{"SPACE    [Down]", "120   [Delay]", "SPACE      [Up]"};
        page = createMacroPage(*widget, root);
        ASSERT_NE(page, nullptr);
        // Time passes only when the test ticks.
        page->setProperty("tickInterval", 3600000);
        settle();
    }
    QStringList actionLines() { return call(page, "lines").toStringList(); }
    void startRecording(const QString& file) {
        call(page, "selectFile", {recorder.macroFiles.indexOf(file)});
        click("macro_record");
        ASSERT_TRUE(page->property("recording").toBool());
    }
    QQuickItem* page = nullptr;
};

TEST_F(MacroPage, ListsTheFilesAndLoadsTheChosenOnesActions) {
    EXPECT_EQ(recorder.callsTo("getMacroIniNames").size(), 1u);
    click(item("macro_files_item1"));
    EXPECT_EQ(page->property("currentName").toString(), "Jump");
    EXPECT_EQ(actionLines(), recorder.macroLines["Jump"]);
    EXPECT_EQ(item("macro_runTimes")->property("text").toString(), "1");
}

TEST_F(MacroPage, CreateDeleteAndRename) {
    recorder.createdName = "Macro 002";
    click("macro_create");
    EXPECT_EQ(page->property("currentName").toString(), "Macro 002");
    recorder.deleteResult = false;
    click("macro_delete");
    EXPECT_EQ(page->property("currentName").toString(), "Macro 002");
    recorder.deleteResult = true;
    click("macro_delete");
    EXPECT_EQ(page->property("currentName").toString(), "");
    EXPECT_EQ(recorder.callsTo("deleteMacroIni"),
              (std::vector<QString>{"deleteMacroIni(Macro 002)", "deleteMacroIni(Macro 002)"}));
    // A double click edits the name in place; Enter renames the file.
    QQuickItem* entry = item("macro_files_item1");
    const QPointF at = entry->mapToScene(QPointF(20, 20));
    QTest::mouseDClick(widget.get(), Qt::LeftButton, Qt::NoModifier, at.toPoint());
    settle();
    QQuickItem* edit = item("macro_files_edit1");
    ASSERT_TRUE(edit->isVisible());
    edit->setProperty("text", "Run");
    QMetaObject::invokeMethod(edit, "accepted");
    EXPECT_EQ(recorder.callsTo("rename"), std::vector<QString>{"renameMacroIniFile(Jump,Run)"});
}

struct RenameCase {
    const char* newName;
    const char* current; // the file the page works on afterwards
    QStringList listed;  // what the list shows
};

// A name the folder refuses keeps the list and the page on the file as it is,
// so a recording is not saved into the other file of that name.
TEST_F(MacroPage, ARenameTheFolderRefusesLeavesTheFileAsItWas) {
    const RenameCase cases[] = {
        {"Jump", "Macro 001", {"Macro 001", "Jump"}},
        {"Run", "Run", {"Run", "Jump"}},
    };
    for (const RenameCase& c : cases) {
        SCOPED_TRACE(c.newName);
        recorder.macroFiles = QStringList{"Macro 001", "Jump"};
        call(page, "reloadFiles");
        call(page, "selectFile", {0});
        settle();
        const QPointF at = item("macro_files_item0")->mapToScene(QPointF(20, 20));
        QTest::mouseDClick(widget.get(), Qt::LeftButton, Qt::NoModifier, at.toPoint());
        settle();
        QQuickItem* edit = item("macro_files_edit0");
        edit->setProperty("text", c.newName);
        QMetaObject::invokeMethod(edit, "accepted");
        settle();
        EXPECT_EQ(page->property("currentName").toString(), c.current);
        QStringList listed;
        for (int i = 0; i < 2; ++i)
            listed << item("macro_files_edit" + QString::number(i))->property("text").toString();
        EXPECT_EQ(listed, c.listed);
        recorder.clear();
        click("macro_record");
        click("macro_record");
        EXPECT_EQ(recorder.callsTo("saveMacroIni"),
                  std::vector<QString>{QString("saveMacroIni(%1,[])").arg(c.current)});
    }
}

TEST_F(MacroPage, RunTimesAreWrittenIntoTheConfiguration) {
    call(page, "selectFile", {0});
    call(page, "setRunTimes", {"7"});
    EXPECT_EQ(recorder.macroConfigs["Macro 001"], (QVariantList{-1, 7, 0}));
}

TEST_F(MacroPage, RecordingWritesKeysWithTheDelaysBetweenThem) {
    startRecording("Jump");
    EXPECT_TRUE(actionLines().isEmpty());
    for (int i = 0; i < 25; ++i) call(page, "tick");
    call(page, "recordKey", {"A", true});
    call(page, "recordKey", {"A", false});
    click("macro_record");
    const QStringList expected{"250   [Delay]", "A    [Down]", "0   [Delay]", "A      [Up]"};
    EXPECT_EQ(recorder.macroLines["Jump"], expected);
    // Without the delay option only the keys are kept.
    click("macro_delayOption");
    startRecording("Jump");
    call(page, "recordKey", {"B", true});
    click("macro_record");
    EXPECT_EQ(recorder.macroLines["Jump"], QStringList{"B    [Down]"});
}

TEST_F(MacroPage, ALongPauseIsSplitIntoLinesOfTheLongestDelay) {
    startRecording("Jump");
    for (int i = 0; i < 6554; ++i) call(page, "tick");
    EXPECT_EQ(actionLines(), QStringList{"65535   [Delay]"});
    for (int i = 0; i < 5; ++i) call(page, "tick");
    call(page, "recordKey", {"C", true});
    EXPECT_EQ(actionLines().value(1), "55   [Delay]");
}

TEST_F(MacroPage, RecordingStopsAndSavesAtTheLineLimit) {
    startRecording("Jump");
    for (int i = 0; i < 30; ++i) call(page, "recordKey", {"K", i % 2 == 0});
    EXPECT_FALSE(page->property("recording").toBool());
    EXPECT_EQ(recorder.macroLines["Jump"].size(), 46);
    EXPECT_EQ(recorder.callsTo("saveMacroIni").size(), 1u);
}

// The panel reads no more lines from a macro file than a recording makes.
TEST_F(MacroPage, TheLineLimitIsWhatTheMacroFileReaderTakes) {
    EXPECT_EQ(page->property("kMaxLines").toInt(), panel::kMacroLines);
}

TEST_F(MacroPage, AFailedSaveClearsTheActionsAndNoFileMeansNoRecording) {
    recorder.saveResult = false;
    startRecording("Jump");
    call(page, "recordKey", {"A", true});
    click("macro_record");
    EXPECT_TRUE(actionLines().isEmpty());
    call(page, "selectFile", {-1});
    click("macro_record");
    EXPECT_FALSE(page->property("recording").toBool());
}

TEST_F(MacroPage, CloseReportsItself) {
    QSignalSpy closed(page, SIGNAL(clicked()));
    click("macro_close");
    EXPECT_EQ(closed.count(), 1);
}

} // namespace
