#include "panel/tests/scene_fixture.h"

#include <QFile>

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

void installWarningCatcher() {
    static const bool once = (qInstallMessageHandler(catchWarnings), true);
    (void)once;
}

} // namespace panel_test
