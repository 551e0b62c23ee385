// The scene root, its frame and the settings page on a recording host.

#include "panel/app_config.h"
#include "panel/file_counts.h"
#include "panel/tests/scene_fixture.h"
#include "panel/view.h"

#include <QFile>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>

namespace {

using namespace panel_test;

// Each public slot of a meta-object as its signature, in declared order.
QStringList methodSignatures(const QMetaObject& meta, QMetaMethod::MethodType type) {
    QStringList out;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod m = meta.method(i);
        if (m.methodType() == type && m.access() == QMetaMethod::Public)
            out << QString(m.typeName()) + " " + m.methodSignature();
    }
    return out;
}

TEST(SceneRecorder, StandsInForEverySlotOfTheHost) {
    const QStringList host = methodSignatures(panel::View::staticMetaObject, QMetaMethod::Slot);
    EXPECT_EQ(host.size(), 56);
    EXPECT_EQ(methodSignatures(RecordingSlots::staticMetaObject, QMetaMethod::Method), host);
}

TEST_F(SceneTest, InitAnnouncesTheDeviceAndLoadsSettingsOnlyTheFirstTime) {
    QSignalSpy inits(root, SIGNAL(msg_INIT()));
    QSignalSpy loads(root, SIGNAL(msg_LoadCurrentProfile()));
    QSignalSpy translations(root, SIGNAL(msg_Translate()));
    recorder.profileId = 3;
    call(root, "init");
    EXPECT_EQ(
        recorder.callsTo("load"),
        (std::vector<QString>{"loadApConfig()", "loadApConfig_lang()", "loadUiStrings(31000)"}));
    EXPECT_EQ(recorder.callsTo("getProfileId").size(), 1u);
    // The settings and strings come first; the profile loads after them.
    const auto firstRam =
        std::find(recorder.calls.begin(), recorder.calls.end(), "getCurrentRam(0)");
    const auto strings =
        std::find(recorder.calls.begin(), recorder.calls.end(), "loadUiStrings(31000)");
    EXPECT_LT(strings, firstRam);
    EXPECT_NE(firstRam, recorder.calls.end());
    EXPECT_EQ(item("footer")->property("currentProfile").toInt(), 2);
    EXPECT_FALSE(item("welcome")->isVisible());
    recorder.clear();
    call(root, "init");
    EXPECT_TRUE(recorder.callsTo("loadApConfig").empty());
    EXPECT_EQ(inits.count(), 2);
    EXPECT_EQ(loads.count(), 2);
    EXPECT_EQ(translations.count(), 1);
}

TEST_F(SceneTest, TheProgramsCallsReachThePagesAsSignals) {
    QSignalSpy hid(root, SIGNAL(msg_HidRead(int)));
    QSignalSpy eq(root,
                  SIGNAL(msg_DriverRead_EqValue(int, int, int, int, int, int, int, int, int, int)));
    QSignalSpy vc(root, SIGNAL(msg_DriverRead_Vc(int, int, int)));
    call(root, "onHidRead", {2});
    call(root, "onDriverRead_EqValue", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    call(root, "onDriverRead_Vc", {1, 7, 12});
    ASSERT_EQ(hid.count(), 1);
    EXPECT_EQ(hid[0][0].toInt(), 2);
    ASSERT_EQ(eq.count(), 1);
    EXPECT_EQ(eq[0][9].toInt(), 10);
    ASSERT_EQ(vc.count(), 1);
    EXPECT_EQ(vc[0][2].toInt(), 12);
}

TEST_F(SceneTest, ShowFadesThePagesIn) {
    QObject* fade = root->findChild<QObject*>("fadeIn");
    ASSERT_NE(fade, nullptr);
    EXPECT_FALSE(fade->property("running").toBool());
    EXPECT_DOUBLE_EQ(item("pages")->opacity(), 0.0);
    call(root, "show");
    EXPECT_TRUE(fade->property("running").toBool());
    EXPECT_EQ(fade->property("to").toDouble(), 1.0);
}

TEST_F(SceneTest, TheSettingsButtonSwitchesBetweenSettingsAndDevicePage) {
    call(root, "init");
    click("winCtrl_setting");
    EXPECT_EQ(root->property("flag_show").toInt(), 0x30);
    EXPECT_FALSE(item("footer")->isEnabled());
    EXPECT_DOUBLE_EQ(item("footer")->opacity(), 0.2);
    EXPECT_FALSE(item("page_device")->isEnabled());
    EXPECT_DOUBLE_EQ(item("page_device")->opacity(), 0.2);
    EXPECT_TRUE(item("winCtrl")->isEnabled());
    EXPECT_TRUE(item("page_setting")->isVisible());
    click("winCtrl_setting");
    EXPECT_EQ(root->property("flag_show").toInt(), 0x23);
    EXPECT_FALSE(item("page_setting")->isVisible());
    EXPECT_TRUE(item("page_device")->isEnabled());
}

TEST_F(SceneTest, WindowButtonsMinimiseAndHide) {
    click("winCtrl_minimize");
    click("winCtrl_close");
    EXPECT_EQ(window.minimized, 1);
    EXPECT_EQ(recorder.callsTo("onHide"), std::vector<QString>{"onHide()"});
}

TEST_F(SceneTest, ADragOnAnEmptyAreaMovesTheWindowByTheDistanceFromThePress) {
    QSignalSpy pressed(root, SIGNAL(emptyAreaPressed()));
    QTest::mousePress(widget.get(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(400, 130), QPointF(400, 130), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget.get(), &move);
    QTest::mouseRelease(widget.get(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 130));
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(recorder.callsTo("on"), (std::vector<QString>{"onXChanged(100)", "onYChanged(30)"}));
}

TEST_F(SceneTest, TheFooterResetsTheDevicePageAndAProfileClickLoadsIt) {
    call(root, "init");
    recorder.clear();
    click("footer_reset");
    EXPECT_FALSE(recorder.callsTo("ui_set_All_led").empty());
    // The profile row is hidden; its buttons still speak for their profile.
    QSignalSpy loads(root, SIGNAL(msg_LoadCurrentProfile()));
    QMetaObject::invokeMethod(item("footer"), "clicked_profile", Q_ARG(int, 3));
    EXPECT_EQ(recorder.callsTo("setProfileId"), std::vector<QString>{"setProfileId(4)"});
    EXPECT_EQ(loads.count(), 1);
}

// The configuration list: language, size, ten colours, colour index, lighting.
QVariantList configList(int lang, int size, int index, int lighting) {
    QVariantList list{7, lang, size};
    for (int k = 0; k < 10; ++k) list << 10 * k << 20 << 30;
    list << index << lighting << 99;
    return list;
}

TEST_F(SceneTest, TheSettingsPageAppliesTheStoredPreferencesAndTheNamedLanguage) {
    recorder.apConfig = configList(25208, 1, 2, 4);
    recorder.apLanguage = "ChineseSimplified";
    recorder.uiStrings[25044] = QStringList{"Noto Sans", "LANGUAGE-SC"};
    call(root, "init");
    // The language named in the file wins and is written back at once; the
    // entries the page does not own are carried through.
    QVariantList expected = configList(25044, 1, 2, 4);
    EXPECT_EQ(recorder.callsTo("saveApConfig"),
              std::vector<QString>{formatCall("saveApConfig", {QVariant(expected)})});
    EXPECT_EQ(root->property("langCode").toInt(), 25044);
    EXPECT_EQ(root->property("fontFamily").toString(), "Noto Sans");
    EXPECT_EQ(root->property("fontSize").toInt(), 38);
    const QStringList strings = root->property("uiStrings").toStringList();
    ASSERT_EQ(strings.size(), 117);
    EXPECT_EQ(strings[1], "LANGUAGE-SC");
    // Strings the file lacks keep their built-in text.
    EXPECT_EQ(strings[116], "R");
    const QColor colour1 = root->property("fontColor1").value<QColor>();
    EXPECT_EQ(colour1.red(), 20);
    EXPECT_EQ(colour1.alpha(), 195);
    EXPECT_EQ(root->property("fontColor0").value<QColor>().alpha(), 195);
}

// The panel reads no more strings from a language file than the scene has.
TEST_F(SceneTest, TheBuiltInStringsAreWhatTheLanguageReaderTakes) {
    EXPECT_EQ(root->property("builtInStrings").toStringList().size(), panel::kUiStrings + 1);
}

TEST_F(SceneTest, AMissingLanguageFileKeepsTheBuiltInTexts) {
    recorder.uiStrings[31000] = QStringList{""};
    call(root, "init");
    EXPECT_EQ(root->property("fontFamily").toString(), "Consolas");
    EXPECT_EQ(root->property("uiStrings").toStringList().value(112), "Equalizer");
}

TEST_F(SceneTest, AnEmptyConfigurationIsWrittenWithTheDefaults) {
    call(root, "init");
    const auto saved = recorder.callsTo("saveApConfig");
    ASSERT_EQ(saved.size(), 1u);
    const QVariantList list = recorder.apConfig;
    ASSERT_EQ(list.size(), 35);
    EXPECT_EQ(list[1].toInt(), 31000);
    EXPECT_EQ(list[3].toInt(), 255);
    EXPECT_EQ(list[34].toInt(), 10);
}

TEST_F(SceneTest, SettingsApplySavesAndClosesAndResetReloadsTheFactoryCopy) {
    call(root, "init");
    click("winCtrl_setting");
    click("setting_larger");
    EXPECT_EQ(root->property("fontSize").toInt(), 38);
    recorder.clear();
    click("setting_reset");
    EXPECT_EQ(recorder.calls.at(0), "resetApconfig()");
    EXPECT_EQ(recorder.calls.at(1), "loadApConfig()");
    click("setting_larger");
    recorder.clear();
    click("setting_apply");
    ASSERT_EQ(recorder.callsTo("saveApConfig").size(), 1u);
    EXPECT_EQ(recorder.apConfig[2].toInt(), 1);
    EXPECT_EQ(root->property("flag_show").toInt(), 0x23);
    EXPECT_FALSE(item("winCtrl_setting")->property("isSelect").toBool());
}

// A fresh install holds the factory preferences as the user's; the settings
// page names its language as "ENGLISH", and the panel shows that language,
// also after a RESET to the factory copy.
TEST_F(SceneTest, AFreshInstallShowsTheLanguageItsSettingsPageNames) {
    EXPECT_TRUE(QFile::exists(QString(PANEL_BUILD_DIR) + "/data/config.ini"))
        << "the build leaves no user's preferences beside the program";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(installFactoryData(folder.path()));
    const panel::AppConfig installed(folder.path());
    recorder.apConfig = installed.load();
    recorder.apLanguage = installed.languageName();
    call(root, "init");
    EXPECT_EQ(root->property("langCode").toInt(), 31000);
    EXPECT_EQ(recorder.callsTo("loadUiStrings"), std::vector<QString>{"loadUiStrings(31000)"});
    click("winCtrl_setting");
    installed.reset();
    recorder.apConfig = installed.load();
    recorder.apLanguage = installed.languageName();
    click("setting_reset");
    EXPECT_EQ(root->property("langCode").toInt(), 31000);
}

} // namespace
