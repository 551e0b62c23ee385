#pragma once

// The panel's scene in a QML host with recording services: "view" records
// every slot the pages call, "zen" every window call. The scene runs beside
// the build's pictures, as the program does, and any QML warning fails the
// test.

#include "panel/tests/scene_recorder.h"
#include "panel/tests/zen_fixture.h"

#include <QDir>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace panel_test {

void registerSceneResources();

// Every warning and critical message while a scene test runs.
QStringList& sceneWarnings();
void installWarningCatcher();

// What a scene needs around it while a test runs: its resources, a catcher
// for its warnings and the build folder as the working folder, where the
// build's pictures lie. leave() restores the folder and fails the test on any
// warning since enter().
class SceneSurroundings {
public:
    void enter() {
        registerSceneResources();
        installWarningCatcher();
        sceneWarnings().clear();
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(PANEL_BUILD_DIR);
    }
    void leave() {
        QDir::setCurrent(m_oldDir);
        EXPECT_TRUE(sceneWarnings().isEmpty()) << sceneWarnings().join("\n").toStdString();
    }

private:
    QString m_oldDir;
};

// The factory preferences and the language files into `dataDir`, as
// installed, with the factory preferences as the user's; false if one of the
// installed files could not be copied.
bool installFactoryData(const QString& dataDir);

// Preferences and texts as the shipped files give them: the factory
// configuration with the language `langCode` and the font size `sizeChoice`
// (0 normal, 1 larger), and that language's strings.
void serveShippedPreferences(RecordingSlots& recorder, int langCode, int sizeChoice);

// The macro manager on `parent`, in the scene's context, as a page of its own
// would be; the scene compiles it in but does not create it.
QQuickItem* createMacroPage(QQuickWidget& widget, QQuickItem* parent);

// The option block of a profile: `bytes` at their offsets, zero elsewhere.
inline QVariantList optionBlock(const std::map<int, int>& bytes) {
    QVariantList b;
    for (int i = 0; i < 256; ++i) b << (bytes.count(i) ? bytes.at(i) : 0);
    return b;
}

// Items a Repeater makes have a visual parent only, so the search walks the
// item tree as well as the object tree.
inline QQuickItem* findItem(QQuickItem* from, const QString& name) {
    if (auto* found = from->findChild<QQuickItem*>(name)) return found;
    for (QQuickItem* child : from->childItems()) {
        if (child->objectName() == name) return child;
        if (QQuickItem* found = findItem(child, name)) return found;
    }
    return nullptr;
}

class SceneTest : public ::testing::Test {
protected:
    static constexpr int kSceneWidth = 3500, kSceneHeight = 1800;

    void SetUp() override {
        ensureApplication();
        scene.enter();
        widget = std::make_unique<QQuickWidget>();
        widget->rootContext()->setContextProperty("view", &recorder);
        widget->rootContext()->setContextProperty("zen", &window);
        widget->setResizeMode(QQuickWidget::SizeRootObjectToView);
        widget->resize(kSceneWidth, kSceneHeight);
        widget->setSource(QUrl("qrc:qml/main.qml"));
        ASSERT_EQ(widget->status(), QQuickWidget::Ready);
        root = widget->rootObject();
        widget->show();
        settle();
    }
    void TearDown() override {
        widget.reset();
        scene.leave();
    }

    void settle() {
        // Items a Repeater dropped are deleted later: they must not be found.
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        // Positioners and lists lay out their items when the scene renders.
        if (widget) widget->grabFramebuffer();
    }
    QQuickItem* item(const QString& name) const {
        QQuickItem* found = findItem(root, name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    // Calls a QML function of `target` with up to ten arguments.
    static QVariant call(QObject* target, const char* function, QVariantList args = {}) {
        QVariant result;
        QGenericArgument a[10];
        for (int i = 0; i < args.size() && i < 10; ++i) a[i] = Q_ARG(QVariant, args[i]);
        // A signal or a function without a result takes no return argument.
        const bool ok =
            QMetaObject::invokeMethod(target, function, Q_RETURN_ARG(QVariant, result), a[0], a[1],
                                      a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]) ||
            QMetaObject::invokeMethod(target, function, a[0], a[1], a[2], a[3], a[4], a[5], a[6],
                                      a[7], a[8], a[9]);
        EXPECT_TRUE(ok) << function;
        return result;
    }
    // A left click at a point of `target` (its centre by default).
    void click(QQuickItem* target, QPointF at = {-1, -1}) {
        ASSERT_NE(target, nullptr);
        if (at.x() < 0) at = QPointF(target->width() / 2, target->height() / 2);
        const QPointF p = target->mapToScene(at);
        QTest::mouseClick(widget.get(), Qt::LeftButton, Qt::NoModifier, p.toPoint());
        settle();
    }
    void click(const QString& name) { click(item(name + "_area")); }
    // A click on a slider's track where the ball would sit at `index`.
    void slideTo(const QString& slider, int index, bool vertical) {
        QQuickItem* s = item(slider);
        ASSERT_NE(s, nullptr);
        const int maxIndex = s->property("maxIndex").toInt();
        const double travel = s->property("travel").toDouble();
        const double ball = vertical ? s->width() : s->height();
        const double along = index * travel / maxIndex + ball / 2;
        click(item(slider + "_track"),
              vertical ? QPointF(s->width() / 2, along) : QPointF(along, s->height() / 2));
    }

    SceneSurroundings scene;
    RecordingSlots recorder;
    RecordingWindow window;
    std::unique_ptr<QQuickWidget> widget;
    QQuickItem* root = nullptr;
};

} // namespace panel_test
