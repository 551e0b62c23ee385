#pragma once

// How each of the panel's pictures is painted: the controls, icons, cards and
// the headset, in the scene's colours and without text. Every painter fills
// the whole of `size` (transparent where it draws nothing).

#include <QPainter>
#include <QSizeF>

namespace panel_pictures {

// The state a control's picture shows.
enum class Look { Rest, Hover, Active };

// Colours of the scene: dark panels, grey at rest, the highlight of an
// enabled feature (the scene's colorPrimary).
namespace colour {
constexpr QRgb kBackgroundTop = 0xFF161B22, kBackgroundBottom = 0xFF0A0C10;
constexpr QRgb kCard = 0xFF1A1F26, kCardEdge = 0xFF2E3540;
constexpr QRgb kFace = 0xFF242A32, kFaceEdge = 0xFF3A424D;
constexpr QRgb kHoverFace = 0xFF2E353F, kHoverEdge = 0xFF5A6572;
constexpr QRgb kAccent = 0xFFFBA919, kIcon = 0xFFC3C9D0, kTrack = 0xFF363D47;
} // namespace colour

using Painter = void (*)(QPainter&, QSizeF, Look);

void paintBackground(QPainter& p, QSizeF size, Look);
void paintWelcome(QPainter& p, QSizeF size, Look);
void paintCard(QPainter& p, QSizeF size, Look);
void paintButton(QPainter& p, QSizeF size, Look look);
void paintSwitch(QPainter& p, QSizeF size, Look look);
void paintSpeakerToggle(QPainter& p, QSizeF size, Look look);
void paintLockToggle(QPainter& p, QSizeF size, Look look);
void paintMicrophoneToggle(QPainter& p, QSizeF size, Look look);
void paintCheck(QPainter& p, QSizeF size, Look look);
void paintDropdown(QPainter& p, QSizeF size, Look look);
void paintKey(QPainter& p, QSizeF size, Look look);
void paintSliderBall(QPainter& p, QSizeF size, Look look);
void paintTrack(QPainter& p, QSizeF size, Look look);
void paintSettingButton(QPainter& p, QSizeF size, Look look);
void paintMinimizeButton(QPainter& p, QSizeF size, Look look);
void paintCloseButton(QPainter& p, QSizeF size, Look look);
void paintHeadsetPicture(QPainter& p, QSizeF size, Look look);
void paintTrayIcon(QPainter& p, QSizeF size, Look look);

} // namespace panel_pictures
