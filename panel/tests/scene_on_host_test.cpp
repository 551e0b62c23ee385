// The real scene in the real QML host, on the simulated headset: the pages
// load without a warning and what they send reaches the profile and the
// driver in the types the host's slots take.

#include "panel/tests/scene_fixture.h"
#include "panel/view.h"

namespace {

using namespace panel_test;

class SceneOnHost : public ZenOnSim {
protected:
    void SetUp() override {
        ZenOnSim::SetUp();
        scene.enter();
        ASSERT_TRUE(installFactoryData(path("data")));
        makeZen(QUrl("qrc:qml/main.qml"));
        host = dynamic_cast<View*>(&zen->view());
        ASSERT_NE(host, nullptr);
        ASSERT_NE(host->rootObject(), nullptr);
        root = host->rootObject();
    }
    void TearDown() override {
        ZenOnSim::TearDown();
        scene.leave();
    }
    QQuickItem* item(const QString& name) { return findItem(root, name); }

    SceneSurroundings scene;
    View* host = nullptr;
    QQuickItem* root = nullptr;
};

TEST_F(SceneOnHost, TheReadyHeadsetInitialisesTheSceneFromTheFiles) {
    EXPECT_TRUE(root->property("deviceReady").toBool());
    EXPECT_EQ(root->property("fontFamily").toString(), "WenQuanYi Micro Hei");
    EXPECT_EQ(root->property("uiStrings").toStringList().value(109), " Magic Voice");
    EXPECT_EQ(root->property("fontColor1").value<QColor>(), QColor(0, 204, 255));
    EXPECT_FALSE(root->property("fontFamily2").toString().isEmpty());
}

TEST_F(SceneOnHost, ASwitchOnThePageIsStoredAndReachesTheDriver) {
    driver.clear();
    QQuickItem* surround = item("device_surroundSwitch");
    ASSERT_NE(surround, nullptr);
    const bool wasOn = surround->property("isSelect").toBool();
    ASSERT_TRUE(QMetaObject::invokeMethod(item("page_device"), "set_surround_headphone"));
    QCoreApplication::processEvents();
    const auto calls = driver.calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(),
                        std::string("adjustSurroundHeadphone ") + (wasOn ? "1" : "0")),
              calls.end());
    EXPECT_EQ(host->getCurrentRam(0).value(3).toInt(), wasOn ? 1 : 0);
}

TEST_F(SceneOnHost, ResetRunsThroughTheRealSlots) {
    ASSERT_TRUE(QMetaObject::invokeMethod(item("page_device"), "reset"));
    const QVariantList block = host->getCurrentRam(0);
    EXPECT_EQ(block.value(16).toInt(), 10);
    EXPECT_EQ(block.value(18).toInt(), 255);
    EXPECT_EQ(block.value(174).toInt(), 49);
    EXPECT_EQ(block.value(179).toInt(), 85);
    EXPECT_EQ(block.value(51).toInt(), 15);
}

} // namespace
