// The pictures of the README: every page it shows is reached as a user
// reaches it and shot at the program's window size into the build's
// screenshot folder, from where scripts/panel-pictures copies them to docs/.

#include "panel/tests/scene_fixture.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>

namespace {

using namespace panel_test;

constexpr double kWindowZoom = 0.5; // a 1920 x 1080 screen

class ReadmePicture : public SceneTest, public ::testing::WithParamInterface<size_t> {
public:
    void SetUp() override {
        SceneTest::SetUp();
        serveShippedPreferences(recorder, 31000, 0);
        // Lighting on in mode 2 with seven colours, clarity and ENC on, EQ
        // on "Rock", the speaker unlocked.
        std::map<int, int> profile{{0, 1},    {1, 7},    {2, 12},   {4, 1},   {7, 1},  {8, 5},
                                   {13, 1},   {14, 2},   {15, 7},   {16, 30}, {17, 0}, {172, 1},
                                   {174, 70}, {175, 62}, {179, 60}, {180, 60}};
        const int colours[7][3] = {{255, 120, 0}, {255, 0, 0},    {255, 255, 0},  {0, 255, 0},
                                   {0, 204, 255}, {120, 60, 255}, {255, 255, 255}};
        for (int k = 0; k < 7; ++k)
            for (int c = 0; c < 3; ++c) profile[18 + 3 * k + c] = colours[k][c];
        recorder.currentRam = optionBlock(profile);
        recorder.macroFiles = QStringList{"Macro 001", "Reload", "Jump"};
        recorder.macroConfigs["Jump"] = QVariantList{2, 1, 1};
        recorder.macroLines["Jump"] =
            QStringList{"SPACE    [Down]", "120   [Delay]", "SPACE      [Up]"};
        root->setProperty("zoomRate", kWindowZoom);
        widget->resize(int(kSceneWidth * kWindowZoom), int(kSceneHeight * kWindowZoom));
        call(root, "init");
        root->findChild<QObject*>("fadeIn")->setProperty("duration", 0);
        call(root, "show");
        settle();
    }

    // Each brings its page up as a user would and returns what must show.
    QQuickItem* devicePage() { return item("page_device"); }
    QQuickItem* lighting() {
        // The wheel over the settings column, until the palette shows whole.
        QQuickItem* column = item("device_settings");
        const QPointF over = column->mapToScene(QPointF(column->width() / 2, 200));
        QTest::mouseMove(widget.get(), over.toPoint());
        settle();
        EXPECT_EQ(root->property("scroll_flg").toInt(), 0) << "the pointer is not over the column";
        QQuickItem* palette = item("device_ledPalette");
        for (int step = 0; step < 8; ++step) {
            const QRectF shown =
                palette->mapRectToItem(column, QRectF(0, 0, palette->width(), palette->height()));
            if (shown.bottom() <= column->height()) break;
            QMetaObject::invokeMethod(root, "scroll", Q_ARG(QVariant, -1));
            settle();
        }
        return palette;
    }
    QQuickItem* settingsPage() {
        click("winCtrl_setting");
        return item("page_setting");
    }
    // No control of the scene opens the next two: the key page opens through
    // the scene's own function, and the macro manager is a page the scene
    // compiles in without creating it.
    QQuickItem* keyAssignmentPage() {
        call(root, "openKeyDefine", {0, 0x0400e200, 0x0200F100, "KEY 1"});
        item("page_keyDefine")->setProperty("tab", 2);
        return item("page_keyDefine");
    }
    QQuickItem* macroManager() {
        // The device page's call for the manager sets the pages under it inert.
        QMetaObject::invokeMethod(item("page_device"), "macroManagerClicked");
        QQuickItem* page = createMacroPage(*widget, item("pages"));
        if (page) {
            page->setPosition(QPointF(550, 200));
            call(page, "selectFile", {2});
        }
        return page;
    }
};

struct Shot {
    const char* file;
    QQuickItem* (ReadmePicture::*reach)();
};

const Shot kShots[] = {
    {"device_page.png", &ReadmePicture::devicePage},
    {"lighting.png", &ReadmePicture::lighting},
    {"settings_page.png", &ReadmePicture::settingsPage},
    {"key_assignment_page.png", &ReadmePicture::keyAssignmentPage},
    {"macro_manager.png", &ReadmePicture::macroManager},
};

// README names its pictures as docs/images/<file>.
QStringList picturesTheReadmeShows() {
    QFile readme(QString(PANEL_SOURCE_ROOT) + "/README.md");
    EXPECT_TRUE(readme.open(QIODevice::ReadOnly));
    static const QRegularExpression picture("docs/images/([a-z_]+\\.png)");
    QStringList files;
    for (auto it = picture.globalMatch(QString::fromUtf8(readme.readAll())); it.hasNext();)
        files << it.next().captured(1);
    files.removeDuplicates();
    return files;
}

TEST(ReadmePictureList, EveryPictureTheReadmeShowsIsOneTheTestsTake) {
    const QStringList shown = picturesTheReadmeShows();
    EXPECT_FALSE(shown.isEmpty());
    for (const QString& file : shown) {
        const bool taken = std::any_of(std::begin(kShots), std::end(kShots),
                                       [&](const Shot& s) { return file == s.file; });
        EXPECT_TRUE(taken) << file.toStdString() << " is in the README but no test takes it";
        EXPECT_TRUE(QFile::exists(QString(PANEL_SOURCE_ROOT) + "/docs/images/" + file))
            << file.toStdString() << " is missing: run scripts/panel-pictures";
    }
}

TEST_P(ReadmePicture, ShowsAPageAUserReaches) {
    const Shot& shot = kShots[GetParam()];
    QQuickItem* page = (this->*shot.reach)();
    ASSERT_NE(page, nullptr) << shot.file;
    settle();
    EXPECT_TRUE(page->isVisible()) << shot.file << " shows a page that cannot be reached";
    const QImage image = widget->grabFramebuffer();
    EXPECT_EQ(image.size(), QSize(int(kSceneWidth * kWindowZoom), int(kSceneHeight * kWindowZoom)));
    QDir().mkpath(PANEL_SCREENSHOT_DIR);
    EXPECT_TRUE(image.save(QString(PANEL_SCREENSHOT_DIR) + "/" + shot.file));
}

INSTANTIATE_TEST_SUITE_P(Shots, ReadmePicture, ::testing::Range<size_t>(0, std::size(kShots)),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             const std::string file = kShots[info.param].file;
                             return file.substr(0, file.find('.'));
                         });

} // namespace
