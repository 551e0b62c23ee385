// The real scene in the real QML host, on the simulated headset: the pages
// load without a warning and what they send reaches the profile and the
// driver in the types the host's slots take.

#include "panel/tests/scene_fixture.h"
#include "panel/view.h"

#include <QFile>

namespace {

using namespace panel_test;

class SceneOnHost : public ZenOnSim {
protected:
    void SetUp() override {
        ZenOnSim::SetUp();
        registerSceneResources();
        installWarningCatcher();
        sceneWarnings().clear();
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(PANEL_BUILD_DIR);
        // The factory preferences and the language files, as installed.
        QDir().mkpath(path("data") + "/i18n");
        for (const char* file : {"configD.ini", "i18n/lang_031000.ini"})
            ASSERT_TRUE(
                QFile::copy(QString(PANEL_BUILD_DIR) + "/data/" + file, path("data") + "/" + file));
        QFile::copy(path("data") + "/configD.ini", path("data") + "/config.ini");
        makeZen(QUrl("qrc:qml/main.qml"));
        host = dynamic_cast<View*>(&zen->view());
        ASSERT_NE(host, nullptr);
        ASSERT_NE(host->rootObject(), nullptr);
        root = host->rootObject();
    }
    void TearDown() override {
        ZenOnSim::TearDown();
        QDir::setCurrent(m_oldDir);
        EXPECT_TRUE(sceneWarnings().isEmpty()) << sceneWarnings().join("\n").toStdString();
    }
    QQuickItem* item(const QString& name) { return findItem(root, name); }

    View* host = nullptr;
    QQuickItem* root = nullptr;

private:
    QString m_oldDir;
};

TEST_F(SceneOnHost, TheReadyHeadsetInitialisesTheSceneFromTheFiles) {
    EXPECT_TRUE(root->property("deviceReady").toBool());
    EXPECT_EQ(root->property("fontFamily").toString(), "DejaVu Sans");
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
