#include "panel/pictures/picture_painting.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>

namespace panel_pictures {

namespace {

QColor rgb(QRgb value, int alpha = 255) {
    QColor c = QColor::fromRgba(value);
    c.setAlpha(alpha);
    return c;
}

QRectF whole(QSizeF size) { return QRectF(QPointF(0, 0), size); }

// The colour an icon takes in each state.
QColor iconColour(Look look) {
    switch (look) {
    case Look::Rest:
        return rgb(0xFF9AA3AD);
    case Look::Hover:
        return rgb(colour::kIcon);
    case Look::Active:
        break;
    }
    return rgb(colour::kAccent);
}

// The raised face every control stands on: a soft vertical gradient, its
// edge, and in the active state an edge and a glow in the highlight.
void paintFace(QPainter& p, QRectF area, qreal radius, Look look) {
    const bool hover = look == Look::Hover;
    QLinearGradient fill(area.topLeft(), area.bottomLeft());
    const QColor face = rgb(hover ? colour::kHoverFace : colour::kFace);
    fill.setColorAt(0, face.lighter(118));
    fill.setColorAt(1, face.darker(112));
    const qreal edge = std::max(2.0, area.height() / 26);
    const QRectF inner = area.adjusted(edge / 2, edge / 2, -edge / 2, -edge / 2);
    p.setPen(QPen(rgb(hover ? colour::kHoverEdge : colour::kFaceEdge), edge));
    p.setBrush(fill);
    p.drawRoundedRect(inner, radius, radius);
    if (look != Look::Active) return;
    QLinearGradient glow(area.topLeft(), area.bottomLeft());
    glow.setColorAt(0, rgb(colour::kAccent, 0));
    glow.setColorAt(1, rgb(colour::kAccent, 48));
    p.setPen(QPen(rgb(colour::kAccent), edge * 1.4));
    p.setBrush(glow);
    p.drawRoundedRect(inner.adjusted(edge * 0.2, edge * 0.2, -edge * 0.2, -edge * 0.2), radius,
                      radius);
}

// Icons are drawn in a unit square placed at `box`.
class IconFrame {
public:
    IconFrame(QPainter& p, QRectF box) : m_p(p) {
        m_p.save();
        m_p.translate(box.topLeft());
        m_p.scale(box.width(), box.height());
    }
    ~IconFrame() { m_p.restore(); }
    IconFrame(const IconFrame&) = delete;
    IconFrame& operator=(const IconFrame&) = delete;

private:
    QPainter& m_p;
};

QRectF centredSquare(QSizeF size, qreal side) {
    return QRectF((size.width() - side) / 2, (size.height() - side) / 2, side, side);
}

QPen roundPen(const QColor& c, qreal width) {
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A diagonal bar across an icon, with a gap in the face's colour so that it
// reads on the icon it strikes out.
void strikeThrough(QPainter& p, const QColor& c, const QColor& gap) {
    p.setPen(roundPen(gap, 0.2));
    p.drawLine(QPointF(0.12, 0.1), QPointF(0.88, 0.9));
    p.setPen(roundPen(c, 0.09));
    p.drawLine(QPointF(0.12, 0.1), QPointF(0.88, 0.9));
}

// A pill-shaped toggle with an icon in its middle; `icon` draws in the unit
// square.
template <typename Icon> void paintIconToggle(QPainter& p, QSizeF size, Look look, Icon icon) {
    paintFace(p, whole(size), size.height() / 2, look);
    const IconFrame frame(p, centredSquare(size, size.height() * 0.72));
    icon(iconColour(look), rgb(colour::kFace));
}

// One cubic curve from `from` to `to`, stroked with round ends.
void strokeCurve(QPainter& p, QPointF from, QPointF c1, QPointF c2, QPointF to, const QColor& c,
                 qreal width) {
    QPainterPath curve;
    curve.moveTo(from);
    curve.cubicTo(c1, c2, to);
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(c, width));
    p.drawPath(curve);
}

// A headset seen from the front, in a 1000 x 1000 frame: band, extenders,
// ear cups with their light rings and, unless it is the icon, a boom
// microphone. The icon is drawn bold in the highlight to survive small sizes.
void paintHeadset(QPainter& p, QRectF box, bool icon) {
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 1000.0, box.height() / 1000.0);

    QPainterPath band;
    band.moveTo(180, 480);
    band.cubicTo(170, 40, 830, 40, 820, 480);
    if (icon) {
        p.setBrush(Qt::NoBrush);
        p.setPen(roundPen(rgb(0xFF101317), 150));
        p.drawPath(band);
        p.setPen(roundPen(rgb(colour::kAccent), 100));
        p.drawPath(band);
    } else {
        strokeCurve(p, {290, 330}, {300, 170}, {700, 170}, {710, 330}, rgb(0xFF23282F), 46);
        p.setPen(roundPen(rgb(0xFF1C2026), 82));
        p.drawPath(band);
        QLinearGradient shell(0, 100, 0, 480);
        shell.setColorAt(0, rgb(0xFF4A535F));
        shell.setColorAt(1, rgb(0xFF262C34));
        p.setPen(QPen(QBrush(shell), 60, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(band);
        p.setPen(roundPen(rgb(colour::kAccent, 220), 7));
        p.drawPath(band);
        // The extenders between band and cups.
        QLinearGradient metal(0, 0, 30, 0);
        metal.setColorAt(0, rgb(0xFF5C646E));
        metal.setColorAt(0.5, rgb(0xFFB4BCC6));
        metal.setColorAt(1, rgb(0xFF5C646E));
        p.setPen(Qt::NoPen);
        for (const qreal x : {165.0, 805.0}) {
            p.save();
            p.translate(x, 0);
            p.setBrush(metal);
            p.drawRoundedRect(QRectF(0, 430, 30, 140), 10, 10);
            p.restore();
        }
    }

    for (const int side : {-1, 1}) {
        const qreal outer = side < 0 ? 85 : 725;
        const QRectF shell(outer, 540, 190, 330);
        QLinearGradient fill(shell.topLeft(), shell.bottomRight());
        fill.setColorAt(0, icon ? rgb(colour::kAccent) : rgb(0xFF3C4450));
        fill.setColorAt(1, icon ? rgb(colour::kAccent).darker(130) : rgb(0xFF191D23));
        p.setPen(QPen(rgb(0xFF101317), icon ? 40 : 8));
        p.setBrush(fill);
        p.drawRoundedRect(shell, 95, 95);
        // The cushion faces the wearer, towards the middle.
        const QRectF cushion(side < 0 ? 205 : 715, 565, 80, 280);
        p.setPen(Qt::NoPen);
        p.setBrush(rgb(0xFF0E1013));
        p.drawRoundedRect(cushion, 40, 40);
        if (icon) continue;
        const QRectF ring = shell.adjusted(30, 55, -40, -55).translated(side < 0 ? -5 : 15, 0);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(rgb(colour::kAccent, 60), 26));
        p.drawEllipse(ring);
        p.setPen(QPen(rgb(colour::kAccent), 8));
        p.drawEllipse(ring);
    }

    if (!icon) {
        strokeCurve(p, {150, 850}, {140, 950}, {240, 985}, {330, 962}, rgb(0xFF2B3139), 20);
        p.setPen(Qt::NoPen);
        p.setBrush(rgb(0xFF1C2127));
        p.drawRoundedRect(QRectF(318, 940, 62, 38), 19, 19);
        p.setBrush(rgb(colour::kAccent));
        p.drawEllipse(QPointF(362, 959), 7, 7);
    }
    p.restore();
}

QPainterPath gearPath() {
    QPainterPath teeth;
    for (int k = 0; k < 8; ++k) {
        QTransform turn;
        turn.translate(0.5, 0.5);
        turn.rotate(45.0 * k);
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-0.08, -0.46, 0.16, 0.2), 0.03, 0.03);
        teeth |= turn.map(tooth);
    }
    QPainterPath body;
    body.addEllipse(QPointF(0.5, 0.5), 0.32, 0.32);
    QPainterPath hole;
    hole.addEllipse(QPointF(0.5, 0.5), 0.13, 0.13);
    return (teeth | body) - hole;
}

void paintRoundButton(QPainter& p, QSizeF size, Look look, QRgb hoverFace) {
    const QRectF area = whole(size);
    if (look == Look::Hover && hoverFace != colour::kHoverFace) {
        p.setPen(Qt::NoPen);
        p.setBrush(rgb(hoverFace));
        p.drawEllipse(area.adjusted(2, 2, -2, -2));
        return;
    }
    const qreal edge = size.width() / 30;
    p.setPen(QPen(rgb(look == Look::Active ? colour::kAccent : colour::kFaceEdge), edge));
    p.setBrush(rgb(look == Look::Hover ? colour::kHoverFace : colour::kFace));
    p.drawEllipse(area.adjusted(edge, edge, -edge, -edge));
}

} // namespace

void paintBackground(QPainter& p, QSizeF size, Look) {
    const QRectF area = whole(size);
    QLinearGradient fill(area.topLeft(), area.bottomLeft());
    fill.setColorAt(0, rgb(colour::kBackgroundTop));
    fill.setColorAt(1, rgb(colour::kBackgroundBottom));
    p.fillRect(area, fill);
    // A soft light behind the headset on the left, a fainter one on the right.
    QRadialGradient light(QPointF(size.width() * 0.21, size.height() * 0.42), size.height() * 0.6);
    light.setColorAt(0, rgb(colour::kAccent, 26));
    light.setColorAt(1, rgb(colour::kAccent, 0));
    p.fillRect(area, light);
    QRadialGradient cool(QPointF(size.width() * 0.7, size.height() * 0.3), size.height() * 0.9);
    cool.setColorAt(0, rgb(0xFF2A6F9A, 20));
    cool.setColorAt(1, rgb(0xFF2A6F9A, 0));
    p.fillRect(area, cool);
    // A hairline over the footer.
    QLinearGradient line(0, 0, size.width(), 0);
    line.setColorAt(0, rgb(colour::kCardEdge, 0));
    line.setColorAt(0.5, rgb(colour::kCardEdge));
    line.setColorAt(1, rgb(colour::kCardEdge, 0));
    p.fillRect(QRectF(size.width() * 0.02, size.height() * 0.905, size.width() * 0.96, 3), line);
}

void paintCard(QPainter& p, QSizeF size, Look) {
    const QRectF area = whole(size).adjusted(2, 2, -2, -2);
    QLinearGradient fill(area.topLeft(), area.bottomLeft());
    fill.setColorAt(0, rgb(colour::kCard).lighter(112));
    fill.setColorAt(1, rgb(colour::kCard).darker(108));
    p.setPen(QPen(rgb(colour::kCardEdge), 3));
    p.setBrush(fill);
    p.drawRoundedRect(area, 36, 36);
    // The highlight's thin line along the top edge.
    QLinearGradient top(area.topLeft(), area.topRight());
    top.setColorAt(0, rgb(colour::kAccent, 0));
    top.setColorAt(0.5, rgb(colour::kAccent, 200));
    top.setColorAt(1, rgb(colour::kAccent, 0));
    p.fillRect(QRectF(area.left() + 60, area.top() + 1, area.width() - 120, 4), top);
}

void paintWelcome(QPainter& p, QSizeF size, Look look) {
    paintCard(p, size, look);
    const qreal side = size.height() * 0.62;
    const QRectF box((size.width() - side) / 2, (size.height() - side) / 2 - 10, side, side);
    QRadialGradient glow(box.center(), side * 0.8);
    glow.setColorAt(0, rgb(colour::kAccent, 40));
    glow.setColorAt(1, rgb(colour::kAccent, 0));
    p.fillRect(whole(size), glow);
    paintHeadset(p, box, false);
    // Waves on either side: the panel is looking for its headset.
    p.setBrush(Qt::NoBrush);
    for (int k = 1; k <= 3; ++k) {
        const qreal r = side * (0.45 + 0.14 * k);
        p.setPen(QPen(rgb(colour::kAccent, 200 - 50 * k), 10, Qt::SolidLine, Qt::RoundCap));
        const QRectF arc(box.center().x() - r, box.center().y() - r, 2 * r, 2 * r);
        p.drawArc(arc, -30 * 16, 60 * 16);
        p.drawArc(arc, 150 * 16, 60 * 16);
    }
}

void paintButton(QPainter& p, QSizeF size, Look look) {
    paintFace(p, whole(size), std::min(size.height() / 4, 18.0), look);
}

void paintSwitch(QPainter& p, QSizeF size, Look look) {
    paintFace(p, whole(size), size.height() / 2, look);
    // The indicator light at the left end, clear of the centred label.
    const QPointF centre(size.height() * 0.4, size.height() / 2);
    const qreal r = size.height() * 0.11;
    p.setPen(Qt::NoPen);
    if (look == Look::Active) {
        QRadialGradient glow(centre, r * 2.4);
        glow.setColorAt(0, rgb(colour::kAccent, 150));
        glow.setColorAt(1, rgb(colour::kAccent, 0));
        p.setBrush(glow);
        p.drawEllipse(centre, r * 2.4, r * 2.4);
        p.setBrush(rgb(colour::kAccent));
    } else {
        p.setBrush(rgb(0xFF4A525C));
    }
    p.drawEllipse(centre, r, r);
}

void paintSpeakerToggle(QPainter& p, QSizeF size, Look look) {
    paintIconToggle(p, size, look, [&](const QColor& c, const QColor& gap) {
        QPainterPath speaker;
        speaker.moveTo(0.1, 0.38);
        speaker.lineTo(0.28, 0.38);
        speaker.lineTo(0.52, 0.16);
        speaker.lineTo(0.52, 0.84);
        speaker.lineTo(0.28, 0.62);
        speaker.lineTo(0.1, 0.62);
        speaker.closeSubpath();
        p.setPen(roundPen(c, 0.04));
        p.setBrush(c);
        p.drawPath(speaker);
        if (look == Look::Active) {
            strikeThrough(p, c, gap);
            return;
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(roundPen(c, 0.07));
        for (const qreal r : {0.16, 0.3})
            p.drawArc(QRectF(0.52 - r, 0.5 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
    });
}

void paintLockToggle(QPainter& p, QSizeF size, Look look) {
    paintIconToggle(p, size, look, [&](const QColor& c, const QColor& gap) {
        const bool locked = look == Look::Active;
        QPainterPath shackle;
        if (locked) {
            shackle.moveTo(0.33, 0.48);
            shackle.lineTo(0.33, 0.3);
            shackle.arcTo(QRectF(0.33, 0.12, 0.34, 0.34), 180, -180);
            shackle.lineTo(0.67, 0.48);
        } else {
            // Lifted and turned aside: the right leg stands free of the body.
            shackle.moveTo(0.33, 0.48);
            shackle.lineTo(0.33, 0.22);
            shackle.arcTo(QRectF(0.33, 0.04, 0.34, 0.34), 180, -180);
            shackle.lineTo(0.67, 0.3);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(roundPen(c, 0.09));
        p.drawPath(shackle);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRoundedRect(QRectF(0.2, 0.46, 0.6, 0.44), 0.08, 0.08);
        p.setBrush(gap);
        p.drawEllipse(QPointF(0.5, 0.64), 0.06, 0.06);
        p.drawRect(QRectF(0.475, 0.64, 0.05, 0.14));
    });
}

void paintMicrophoneToggle(QPainter& p, QSizeF size, Look look) {
    paintIconToggle(p, size, look, [&](const QColor& c, const QColor& gap) {
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRoundedRect(QRectF(0.37, 0.06, 0.26, 0.52), 0.13, 0.13);
        p.setBrush(Qt::NoBrush);
        p.setPen(roundPen(c, 0.07));
        p.drawArc(QRectF(0.24, 0.16, 0.52, 0.54), 180 * 16, 180 * 16);
        p.drawLine(QPointF(0.5, 0.71), QPointF(0.5, 0.86));
        p.drawLine(QPointF(0.34, 0.9), QPointF(0.66, 0.9));
        if (look == Look::Active) strikeThrough(p, c, gap);
    });
}

void paintCheck(QPainter& p, QSizeF size, Look look) {
    const QRectF box = whole(size).adjusted(4, 4, -4, -4);
    const qreal radius = size.width() / 6;
    if (look != Look::Active) {
        p.setPen(QPen(rgb(look == Look::Hover ? colour::kHoverEdge : colour::kFaceEdge), 3));
        p.setBrush(rgb(colour::kFace));
        p.drawRoundedRect(box, radius, radius);
        return;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(rgb(colour::kAccent));
    p.drawRoundedRect(box, radius, radius);
    const IconFrame frame(p, whole(size));
    p.setPen(roundPen(rgb(colour::kCard), 0.12));
    p.setBrush(Qt::NoBrush);
    const QPointF mark[] = {{0.26, 0.52}, {0.43, 0.69}, {0.75, 0.33}};
    p.drawPolyline(mark, 3);
}

void paintDropdown(QPainter& p, QSizeF size, Look look) {
    paintFace(p, whole(size), 14, look);
    // The chevron at the right end; the text keeps to the left.
    const qreal h = size.height();
    const QPointF c(size.width() - h * 0.6, h * 0.5);
    p.setPen(QPen(iconColour(Look::Hover), h / 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF chevron[] = {c + QPointF(-h * 0.14, -h * 0.07), c + QPointF(0, h * 0.08),
                               c + QPointF(h * 0.14, -h * 0.07)};
    p.drawPolyline(chevron, 3);
}

void paintKey(QPainter& p, QSizeF size, Look look) {
    paintRoundButton(p, size, look, colour::kHoverFace);
    p.setPen(QPen(rgb(colour::kAccent, 120), size.width() / 30));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(whole(size).adjusted(size.width() * 0.14, size.width() * 0.14,
                                       -size.width() * 0.14, -size.width() * 0.14));
}

void paintSliderBall(QPainter& p, QSizeF size, Look) {
    const QRectF area = whole(size);
    const QPointF c = area.center();
    const qreal r = size.width() / 2;
    // A shadow under the ball, then the ball, lit from above.
    QRadialGradient shadow(c + QPointF(0, r * 0.1), r);
    shadow.setColorAt(0.7, QColor(0, 0, 0, 120));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(area);
    QRadialGradient ball(c - QPointF(0, r * 0.35), r);
    ball.setColorAt(0, rgb(colour::kAccent).lighter(135));
    ball.setColorAt(1, rgb(colour::kAccent).darker(115));
    p.setBrush(ball);
    p.drawEllipse(c, r * 0.8, r * 0.8);
    p.setBrush(rgb(colour::kCard));
    p.drawEllipse(c, r * 0.22, r * 0.22);
}

void paintTrack(QPainter& p, QSizeF size, Look) {
    const qreal thickness = std::min(size.width(), size.height());
    p.setPen(Qt::NoPen);
    p.setBrush(rgb(colour::kTrack));
    p.drawRoundedRect(whole(size), thickness / 2, thickness / 2);
    p.setBrush(rgb(0xFF1A1E24));
    const qreal inset = thickness / 3;
    p.drawRoundedRect(whole(size).adjusted(inset, inset, -inset, -inset), inset / 2, inset / 2);
}

void paintSettingButton(QPainter& p, QSizeF size, Look look) {
    paintRoundButton(p, size, look, colour::kHoverFace);
    const IconFrame frame(p, centredSquare(size, size.width() * 0.52));
    p.setPen(Qt::NoPen);
    p.setBrush(iconColour(look == Look::Active ? Look::Active : Look::Hover));
    p.drawPath(gearPath());
}

void paintMinimizeButton(QPainter& p, QSizeF size, Look look) {
    paintRoundButton(p, size, look, colour::kHoverFace);
    const IconFrame frame(p, centredSquare(size, size.width() * 0.4));
    p.setPen(roundPen(iconColour(Look::Hover), 0.16));
    p.drawLine(QPointF(0.1, 0.5), QPointF(0.9, 0.5));
}

void paintCloseButton(QPainter& p, QSizeF size, Look look) {
    paintRoundButton(p, size, look, 0xFFC0392B);
    const IconFrame frame(p, centredSquare(size, size.width() * 0.36));
    p.setPen(roundPen(look == Look::Hover ? rgb(0xFFFFFFFF) : iconColour(Look::Hover), 0.16));
    p.drawLine(QPointF(0.1, 0.1), QPointF(0.9, 0.9));
    p.drawLine(QPointF(0.1, 0.9), QPointF(0.9, 0.1));
}

void paintHeadsetPicture(QPainter& p, QSizeF size, Look) {
    // The headset fills the upper part; the feature badges stand below it.
    const qreal side = std::min(size.width() * 0.8, size.height() * 0.7);
    const QRectF box((size.width() - side) / 2, size.height() * 0.03, side, side);
    QRadialGradient floor(QPointF(size.width() / 2, box.bottom() - side * 0.02), side * 0.5);
    floor.setColorAt(0, QColor(0, 0, 0, 110));
    floor.setColorAt(1, QColor(0, 0, 0, 0));
    p.save();
    p.translate(0, box.bottom() - side * 0.02);
    p.scale(1, 0.12);
    p.translate(0, -(box.bottom() - side * 0.02));
    p.fillRect(whole(size), floor);
    p.restore();
    paintHeadset(p, box, false);
}

void paintTrayIcon(QPainter& p, QSizeF size, Look) {
    paintHeadset(p,
                 whole(size).adjusted(size.width() * 0.02, -size.height() * 0.04,
                                      -size.width() * 0.02, size.height() * 0.02),
                 true);
}

} // namespace panel_pictures
