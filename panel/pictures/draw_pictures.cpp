// Draws the panel's pictures at build time from one table, each at the size
// the scene shows it, under the folder given as the only argument (the
// program loads them from "img/" beside itself). None carries text: the
// scene writes its labels in the user's language over them.

#include "panel/pictures/picture_painting.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>

#include <cstdio>

namespace {

using namespace panel_pictures;

struct Picture {
    const char* path;
    int width, height;
    Painter paint;
    Look look;
};

const Picture kPictures[] = {
    {"frame/background.png", 3500, 1800, paintBackground, Look::Rest},
    {"frame/welcome.png", 1400, 500, paintWelcome, Look::Rest},
    {"frame/setting_panel.png", 1200, 1100, paintCard, Look::Rest},
    {"frame/key_panel.png", 1800, 1300, paintCard, Look::Rest},
    {"frame/macro_panel.png", 2400, 1400, paintCard, Look::Rest},
    {"frame/setting_0.png", 90, 90, paintSettingButton, Look::Rest},
    {"frame/setting_1.png", 90, 90, paintSettingButton, Look::Active},
    {"frame/minimize_0.png", 90, 90, paintMinimizeButton, Look::Rest},
    {"frame/minimize_1.png", 90, 90, paintMinimizeButton, Look::Hover},
    {"frame/close_0.png", 90, 90, paintCloseButton, Look::Rest},
    {"frame/close_1.png", 90, 90, paintCloseButton, Look::Hover},
    {"common/button_0.png", 240, 80, paintButton, Look::Rest},
    {"common/button_1.png", 240, 80, paintButton, Look::Hover},
    {"common/button_2.png", 240, 80, paintButton, Look::Active},
    {"common/toggle_0.png", 160, 70, paintSwitch, Look::Rest},
    {"common/toggle_1.png", 160, 70, paintSwitch, Look::Active},
    {"common/check_0.png", 50, 50, paintCheck, Look::Rest},
    {"common/check_1.png", 50, 50, paintCheck, Look::Active},
    {"common/dropdown.png", 500, 70, paintDropdown, Look::Rest},
    {"common/key_0.png", 90, 90, paintKey, Look::Rest},
    {"common/slider_ball.png", 60, 60, paintSliderBall, Look::Rest},
    {"common/slider_track.png", 600, 12, paintTrack, Look::Rest},
    {"common/slider_track_v.png", 12, 500, paintTrack, Look::Rest},
    {"device/headset.png", 1300, 1400, paintHeadsetPicture, Look::Rest},
    {"device/eq_panel.png", 1600, 800, paintCard, Look::Rest},
    // The volume toggles: _0 sounding (or unlocked), _1 muted (or locked).
    {"device/speaker_0.png", 160, 70, paintSpeakerToggle, Look::Rest},
    {"device/speaker_1.png", 160, 70, paintSpeakerToggle, Look::Active},
    {"device/lock_0.png", 160, 70, paintLockToggle, Look::Rest},
    {"device/lock_1.png", 160, 70, paintLockToggle, Look::Active},
    {"device/mic_0.png", 160, 70, paintMicrophoneToggle, Look::Rest},
    {"device/mic_1.png", 160, 70, paintMicrophoneToggle, Look::Active},
};

QImage paint(const Picture& pic, QImage::Format format) {
    QImage image(pic.width, pic.height, format);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    pic.paint(p, QSizeF(pic.width, pic.height), pic.look);
    return image;
}

bool writePicture(const QDir& out, const Picture& pic) {
    const QString file = out.filePath(pic.path);
    QDir().mkpath(QFileInfo(file).path());
    return paint(pic, QImage::Format_ARGB32_Premultiplied).save(file, "PNG");
}

// The tray icon: the headset at icon size, through Qt's ico writer.
bool writeTrayIcon(const QDir& out) {
    const Picture icon{"trayIcon.ico", 64, 64, paintTrayIcon, Look::Active};
    QImageWriter writer(out.filePath(icon.path), "ico");
    return writer.write(paint(icon, QImage::Format_ARGB32));
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <img folder>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    for (const Picture& pic : kPictures)
        if (!writePicture(out, pic)) {
            std::fprintf(stderr, "cannot write %s\n", pic.path);
            return 1;
        }
    if (!writeTrayIcon(out)) {
        std::fprintf(stderr, "cannot write trayIcon.ico\n");
        return 1;
    }
    return 0;
}
