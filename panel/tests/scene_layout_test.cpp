// Every page as a user sees it, in each language and font size, at the
// design size and at the program's window size: nothing over anything else,
// nothing cut, every picture there and every toggle showing its state.

#include "panel/tests/scene_fixture.h"
#include "panel/tests/scene_layout.h"

#include <algorithm>
#include <memory>

namespace {

using namespace panel_test;

struct Face {
    int langCode;
    int sizeChoice; // 0 NORMAL, 1 LARGER
    double zoomRate;
};

std::string faceName(const ::testing::TestParamInfo<Face>& info) {
    const Face& f = info.param;
    return std::to_string(f.langCode) + (f.sizeChoice ? "_larger" : "_normal") +
           (f.zoomRate < 1 ? "_window" : "_design");
}

// The macro files the pages list; "Jump" has actions.
void sampleMacros(RecordingSlots& recorder) {
    recorder.macroFiles = QStringList{"Macro 001", "Jump"};
    recorder.macroConfigs["Macro 001"] = QVariantList{-1, 4, 0};
    recorder.macroConfigs["Jump"] = QVariantList{2, 1, 1};
    recorder.macroLines["Jump"] =
        QStringList{"SPACE    [Down]", "120   [Delay]", "SPACE      [Up]"};
}

class PageLayout : public SceneTest, public ::testing::WithParamInterface<Face> {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        const Face& face = GetParam();
        serveShippedPreferences(recorder, face.langCode, face.sizeChoice);
        // Lighting on in mode 2, which uses every lighting control.
        recorder.currentRam = optionBlock({{13, 1}, {14, 2}, {15, 9}, {16, 20}, {174, 80}});
        sampleMacros(recorder);
        root->setProperty("zoomRate", face.zoomRate);
        widget->resize(int(kSceneWidth * face.zoomRate), int(kSceneHeight * face.zoomRate));
        call(root, "init");
        root->findChild<QObject*>("fadeIn")->setProperty("duration", 0);
        call(root, "show");
        settle();
        ASSERT_EQ(root->property("fontSize").toInt(), 34 + 4 * face.sizeChoice);
        ASSERT_EQ(root->property("langCode").toInt(), face.langCode);
        designSpace = item("pages");
    }
    void expectWhole(const QString& what, QQuickItem* page, std::vector<QQuickItem*> skip = {},
                     bool scrolled = false) {
        settle();
        ASSERT_NE(page, nullptr) << what.toStdString();
        const QStringList faults = layoutFaults({page, designSpace, std::move(skip), scrolled});
        EXPECT_TRUE(faults.isEmpty()) << what.toStdString() << ":\n"
                                      << faults.join("\n").toStdString();
    }
    QRectF designRect(QQuickItem* i) const {
        return i->mapRectToItem(designSpace, QRectF(0, 0, i->width(), i->height()));
    }
    QQuickItem* designSpace = nullptr;
};

TEST_P(PageLayout, EveryPageHoldsTogether) {
    {
        SCOPED_TRACE("one font");
        const QString family = root->property("fontFamily").toString();
        EXPECT_EQ(family, "WenQuanYi Micro Hei");
        const QStringList others = textsInOtherFonts(root, family);
        EXPECT_TRUE(others.isEmpty()) << others.join("\n").toStdString();
    }
    {
        SCOPED_TRACE("the frame");
        expectWhole("frame", designSpace, {item("page_device"), item("page_keyDefine")});
        const QRectF scene(0, 0, kSceneWidth, kSceneHeight);
        const QRectF device = designRect(item("page_device"));
        EXPECT_TRUE(scene.contains(device));
        for (const char* other : {"footer", "winCtrl"})
            EXPECT_FALSE(device.intersects(designRect(item(other)))) << other;
    }
    {
        SCOPED_TRACE("the device page at every scroll position");
        QQuickItem* page = item("page_device");
        expectWhole("device page", page, {item("device_eqPanel")});
        // The wheel over the settings column, down to its end.
        QQuickItem* column = item("device_settings");
        root->setProperty("scroll_flg", 0);
        double before = -1;
        for (int step = 1; column->property("contentY").toDouble() > before; ++step) {
            before = column->property("contentY").toDouble();
            QMetaObject::invokeMethod(root, "scroll", Q_ARG(QVariant, -1));
            expectWhole(QString("device page, scrolled %1 steps").arg(step), page,
                        {item("device_eqPanel")}, true);
        }
        EXPECT_GT(before, 0);
    }
    {
        SCOPED_TRACE("the equalizer panel");
        item("page_device")->setProperty("eqPanelOpen", true);
        expectWhole("equalizer panel", item("device_eqPanel"));
        item("page_device")->setProperty("eqPanelOpen", false);
    }
    {
        SCOPED_TRACE("the settings page");
        click("winCtrl_setting");
        expectWhole("settings page", item("page_setting"));
        click("winCtrl_setting");
    }
    {
        SCOPED_TRACE("every tab of the key-assignment page");
        QQuickItem* page = item("page_keyDefine");
        call(root, "openKeyDefine", {0, 0x0400e200, 0x0200F100, "KEY 1"});
        ASSERT_TRUE(page->isVisible());
        for (int menu = 0; menu < 3; ++menu) {
            page->setProperty("tab", 0);
            page->setProperty("mouseMenu", menu);
            expectWhole(QString("key assignment, mouse menu %1").arg(menu), page);
        }
        for (int tab = 1; tab < 4; ++tab) {
            page->setProperty("tab", tab);
            expectWhole(QString("key assignment, tab %1").arg(tab), page);
        }
        // With no macro file the macro tab says so.
        recorder.macroFiles.clear();
        root->setProperty("flag_show", 0x23);
        call(root, "openKeyDefine", {0, 0x0400e200, 0x0200F100, "KEY 1"});
        page->setProperty("tab", 3);
        expectWhole("key assignment, no macros", page);
        root->setProperty("flag_show", 0x23);
    }
    {
        SCOPED_TRACE("the macro manager with a file open");
        sampleMacros(recorder);
        QQuickItem* page = createMacroPage(*widget, designSpace);
        ASSERT_NE(page, nullptr);
        page->setPosition(QPointF(550, 200));
        call(page, "selectFile", {1});
        expectWhole("macro manager", page);
    }
}

const Face kFaces[] = {
    {31000, 0, 1.0}, {31000, 1, 1.0}, {25044, 0, 1.0}, {25044, 1, 1.0},
    {25208, 0, 1.0}, {25208, 1, 1.0}, {31000, 0, 0.5}, {31000, 1, 0.5},
    {25044, 0, 0.5}, {25044, 1, 0.5}, {25208, 0, 0.5}, {25208, 1, 0.5},
};
INSTANTIATE_TEST_SUITE_P(Faces, PageLayout, ::testing::ValuesIn(kFaces), faceName);

// The check itself, on small pages whose faults are known.
struct Layout {
    const char* what;
    const char* items; // inside a 1000 x 600 page
    bool scrolled;
    const char* fault; // how one of the faults expected starts, or nothing
};

const Layout kLayouts[] = {
    {"texts apart", "Text { text: 'A' } Text { y: 100; text: 'B' }", false, nullptr},
    {"texts over each other", "Text { text: 'A' } Text { x: 5; text: 'B' }", false, "overlap"},
    {"a hidden text is not seen", "Text { text: 'A' } Text { visible: false; text: 'B' }", false,
     nullptr},
    {"glyphs centred in a wide item leave its ends free",
     "Text { width: 600; horizontalAlignment: Text.AlignHCenter; text: 'A' }"
     " Text { text: 'B' }",
     false, nullptr},
    {"a text over another control", "Button { text.text: 'A' } Text { x: 100; y: 20; text: 'B' }",
     false, "overlap"},
    {"a label longer than its button",
     "PushButton { width: 60; text.text: 'A label far too long' }", false, "runs out"},
    {"controls over each other", "Checkbox { chkStr: 'A' } Slider { y: 10 }", false, "overlap"},
    {"a text beyond its page", "Text { x: 990; text: 'Wide text' }", false, "outside"},
    {"a view that cuts a text",
     "Flickable { width: 300; height: 100; clip: true; contentHeight: 300;"
     " Text { y: 90; text: 'A' } Text { y: 250; text: 'B' } }",
     false, "cut"},
    {"a scrolled view may cut",
     "Flickable { width: 300; height: 100; clip: true; contentHeight: 300;"
     " Text { y: 90; text: 'A' } }",
     true, nullptr},
};

TEST_F(SceneTest, TheLayoutCheckFindsWhatAUserWouldSee) {
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.what);
        QQmlComponent component(widget->engine());
        component.setData(QByteArray("import QtQuick 2.15\nimport \"qrc:/qml/common\"\n"
                                     "Item { width: 1000; height: 600; ") +
                              layout.items + " }",
                          QUrl());
        std::unique_ptr<QObject> made(component.create(qmlContext(root)));
        auto* page = qobject_cast<QQuickItem*>(made.get());
        ASSERT_NE(page, nullptr) << component.errorString().toStdString();
        page->setParentItem(item("pages"));
        settle();
        const QStringList faults = layoutFaults({page, page, {}, layout.scrolled});
        if (!layout.fault) {
            EXPECT_TRUE(faults.isEmpty()) << faults.join("\n").toStdString();
            continue;
        }
        const bool found = std::any_of(faults.begin(), faults.end(), [&](const QString& fault) {
            return fault.startsWith(layout.fault);
        });
        EXPECT_TRUE(found) << faults.join("\n").toStdString();
    }
}

// Every state of every page, with everything the scene can show created.
class ScenePictures : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        sampleMacros(recorder);
        call(root, "init");
        call(root, "openKeyDefine", {0, 0x0400e200, 0x0200F100, "KEY 1"});
        macroPage = createMacroPage(*widget, item("pages"));
        ASSERT_NE(macroPage, nullptr);
        settle();
    }
    QQuickItem* macroPage = nullptr;
};

TEST_F(ScenePictures, EveryPictureTheSceneNamesExistsAndLoads) {
    const QStringList missing = missingPictures(root);
    EXPECT_TRUE(missing.isEmpty()) << missing.join("\n").toStdString();
}

TEST_F(ScenePictures, EveryPictureIsShownAtTheSizeItIsDrawn) {
    item("page_device")->setProperty("eqPanelOpen", true);
    const QStringList scaled = picturesOutOfStep(root);
    EXPECT_TRUE(scaled.isEmpty()) << scaled.join("\n").toStdString();
}

TEST_F(ScenePictures, EveryToggleHasAPictureOfItsOwnForEachState) {
    const QStringList same = togglesWithoutDistinctStates(root);
    EXPECT_TRUE(same.isEmpty()) << same.join("\n").toStdString();
    // The volume toggles carry their function, so no two show the same.
    QStringList pictures;
    for (const char* toggle : {"device_speakerMute", "device_speakerLock", "device_micMute"})
        for (const char* state : {"source0", "source1"})
            pictures << item(toggle)->property(state).toUrl().toString();
    pictures.removeDuplicates();
    EXPECT_EQ(pictures.size(), 6) << pictures.join(" ").toStdString();
}

} // namespace
