// Draws the panel's pictures at build time: each one a flat shape in the
// scene's colours with its own name on it, written under the folder given as
// the only argument (the program loads them from "img/" beside itself).

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cstdio>

namespace {

enum class Shape { Panel, Rounded, Circle, Bar, Box, Cross, Dash, Gear, Headset };

struct Picture {
    const char* path;
    int width, height;
    Shape shape;
    QRgb fill;
};

// Colours of the scene: dark panels, grey at rest, the highlight when active.
constexpr QRgb kBackground = 0xFF101418, kPanel = 0xFF1E2329, kRest = 0xFF3A3F45,
               kHover = 0xFF55595F, kActive = 0xFFFBA919, kTrack = 0xFF666666;

const Picture kPictures[] = {
    {"frame/background.png", 3500, 1800, Shape::Panel, kBackground},
    {"frame/welcome.png", 1400, 500, Shape::Rounded, kPanel},
    {"frame/setting_panel.png", 1200, 1100, Shape::Rounded, kPanel},
    {"frame/setting_0.png", 90, 90, Shape::Gear, kRest},
    {"frame/setting_1.png", 90, 90, Shape::Gear, kActive},
    {"frame/minimize_0.png", 90, 90, Shape::Dash, kRest},
    {"frame/minimize_1.png", 90, 90, Shape::Dash, kHover},
    {"frame/close_0.png", 90, 90, Shape::Cross, kRest},
    {"frame/close_1.png", 90, 90, Shape::Cross, kHover},
    {"common/button_0.png", 240, 80, Shape::Rounded, kRest},
    {"common/button_1.png", 240, 80, Shape::Rounded, kHover},
    {"common/button_2.png", 240, 80, Shape::Rounded, kActive},
    {"common/toggle_0.png", 160, 70, Shape::Rounded, kRest},
    {"common/toggle_1.png", 160, 70, Shape::Rounded, kActive},
    {"common/check_0.png", 50, 50, Shape::Box, kRest},
    {"common/check_1.png", 50, 50, Shape::Box, kActive},
    {"common/dropdown.png", 500, 70, Shape::Rounded, kRest},
    {"common/key_0.png", 90, 90, Shape::Circle, kRest},
    {"common/slider_ball.png", 60, 60, Shape::Circle, kActive},
    {"common/slider_track.png", 600, 12, Shape::Bar, kTrack},
    {"common/slider_track_v.png", 12, 500, Shape::Bar, kTrack},
    {"device/headset.png", 1300, 1400, Shape::Headset, kRest},
};

void drawShape(QPainter& p, const Picture& pic) {
    const QRectF area(0, 0, pic.width, pic.height);
    const qreal side = std::min(pic.width, pic.height);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgba(pic.fill));
    switch (pic.shape) {
    case Shape::Panel:
    case Shape::Bar:
        p.drawRect(area);
        break;
    case Shape::Rounded:
        p.drawRoundedRect(area, std::min(side / 4, 40.0), std::min(side / 4, 40.0));
        break;
    case Shape::Circle:
        p.drawEllipse(area);
        break;
    case Shape::Box:
        p.drawRoundedRect(area.adjusted(4, 4, -4, -4), 6, 6);
        break;
    case Shape::Cross:
    case Shape::Dash:
    case Shape::Gear: {
        p.drawEllipse(area);
        p.setPen(QPen(Qt::white, side / 10, Qt::SolidLine, Qt::RoundCap));
        const qreal a = side * 0.3, b = side * 0.7;
        if (pic.shape == Shape::Cross) {
            p.drawLine(QPointF(a, a), QPointF(b, b));
            p.drawLine(QPointF(a, b), QPointF(b, a));
        } else if (pic.shape == Shape::Dash) {
            p.drawLine(QPointF(a, side / 2), QPointF(b, side / 2));
        } else {
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(area.center(), side / 5, side / 5);
        }
        break;
    }
    case Shape::Headset: {
        // A band over two ear cups.
        QPainterPath band;
        band.moveTo(pic.width * 0.2, pic.height * 0.6);
        band.cubicTo(pic.width * 0.2, pic.height * 0.05, pic.width * 0.8, pic.height * 0.05,
                     pic.width * 0.8, pic.height * 0.6);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor::fromRgba(pic.fill), pic.width * 0.06, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(band);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromRgba(kHover));
        p.drawRoundedRect(
            QRectF(pic.width * 0.08, pic.height * 0.45, pic.width * 0.24, pic.height * 0.3), 40,
            40);
        p.drawRoundedRect(
            QRectF(pic.width * 0.68, pic.height * 0.45, pic.width * 0.24, pic.height * 0.3), 40,
            40);
        break;
    }
    }
}

// The picture's name in its lower left corner, where it is readable at
// every size the scene uses.
void drawName(QPainter& p, const Picture& pic) {
    QFont font = p.font();
    font.setPixelSize(std::max(6, std::min(pic.height / 5, 28)));
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, 160));
    p.drawText(QRectF(2, 0, pic.width - 4, pic.height - 2), Qt::AlignLeft | Qt::AlignBottom,
               QFileInfo(pic.path).completeBaseName());
}

bool writePicture(const QDir& out, const Picture& pic) {
    QImage image(pic.width, pic.height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawShape(p, pic);
        drawName(p, pic);
    }
    const QString file = out.filePath(pic.path);
    QDir().mkpath(QFileInfo(file).path());
    return image.save(file, "PNG");
}

// The tray icon: the headset at icon size, through Qt's ico writer.
bool writeTrayIcon(const QDir& out) {
    const Picture headset{"trayIcon", 64, 64, Shape::Headset, kActive};
    QImage image(headset.width, headset.height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawShape(p, headset);
    }
    QImageWriter writer(out.filePath("trayIcon.ico"), "ico");
    return writer.write(image);
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
