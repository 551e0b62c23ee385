#include "panel/tests/scene_fixture.h"

#include "panel/app_config.h"

#include <QFile>
#include <QTemporaryDir>

// Qt keeps every picture a scene showed, and its texture, in caches that live
// as long as the application, which the tests share to the end; fontconfig
// keeps its own. Full stacks let the checker tell these from the tests' own.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:QQuickPixmap\nleak:QSGRenderContext::textureForFactory\n"
           "leak:QQuickImage::updatePaintNode\n";
}
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

// A static library's resources are registered by hand, outside any namespace.
static void registerPanelResources() { Q_INIT_RESOURCE(panel_resources); }

namespace panel_test {

void registerSceneResources() {
    static const bool once = (registerPanelResources(), true);
    (void)once;
}

QStringList& sceneWarnings() {
    static QStringList warnings;
    return warnings;
}

namespace {

// What the offscreen platform says of itself is no fault of the scene.
bool fromThePlatform(const QString& text) {
    return text.startsWith("QStandardPaths:") || text.contains("systemTrayWindowChanged");
}

void catchWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if ((type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg) &&
        !fromThePlatform(text))
        sceneWarnings() << text;
}

} // namespace

bool installFactoryData(const QString& dataDir) {
    QDir().mkpath(dataDir + "/i18n");
    for (const char* file : {"configD.ini", "i18n/lang_031000.ini"})
        if (!QFile::copy(QString(PANEL_BUILD_DIR) + "/data/" + file, dataDir + "/" + file))
            return false;
    QFile::copy(dataDir + "/configD.ini", dataDir + "/config.ini");
    return true;
}

void serveShippedPreferences(RecordingSlots& recorder, int langCode, int sizeChoice) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(installFactoryData(folder.path()));
    recorder.apConfig = panel::AppConfig(folder.path()).load();
    ASSERT_GT(recorder.apConfig.size(), 2);
    recorder.apConfig[1] = langCode;
    recorder.apConfig[2] = sizeChoice;
    recorder.apLanguage = langCode == 25044   ? "ChineseSimplified"
                          : langCode == 25208 ? "ChineseTraditional"
                                              : "English";
    const panel::LanguageStrings shipped(panel::AppConfig(QString(PANEL_BUILD_DIR) + "/data"),
                                         langCode);
    recorder.uiStrings[langCode] = shipped.uiStrings();
    ASSERT_GT(recorder.uiStrings[langCode].size(), 100) << langCode;
    recorder.msgStrings = shipped.group("msg", 0, 2);
}

QQuickItem* createMacroPage(QQuickWidget& widget, QQuickItem* parent) {
    QQmlComponent component(widget.engine(), QUrl("qrc:/qml/Page_macro.qml"));
    auto* page = qobject_cast<QQuickItem*>(component.create(qmlContext(parent)));
    EXPECT_NE(page, nullptr) << component.errorString().toStdString();
    if (page) {
        page->setParent(parent);
        page->setParentItem(parent);
    }
    return page;
}

void installWarningCatcher() {
    static const bool once = (qInstallMessageHandler(catchWarnings), true);
    (void)once;
}

} // namespace panel_test
