#include "panel/tests/scene_layout.h"

#include <QFileInfo>
#include <QFontInfo>
#include <QImage>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace panel_test {

namespace {

// Overlaps and overhangs of less than this many design units are rounding.
constexpr qreal kTolerance = 1.0;

// The QML types a user clicks or drags.
const QStringList kControlTypes{"Button",       "Button_2s", "PushButton",
                                "Checkbox",     "Slider",    "Slider_vertical",
                                "DropdownList", "MouseKey",  "FileList"};

QString strippedClassName(const char* className) {
    static const QRegularExpression suffix("_QML(TYPE)?_\\d+$");
    return QString(className).remove(suffix);
}

bool isA(const QObject* item, const QStringList& types) {
    for (const QMetaObject* m = item->metaObject(); m; m = m->superClass())
        if (types.contains(strippedClassName(m->className()))) return true;
    return false;
}

bool isText(const QQuickItem* item) {
    return item->inherits("QQuickText") || item->inherits("QQuickTextInput");
}

bool isControl(const QQuickItem* item) {
    static const QRegularExpression swatch("_swatch\\d+$");
    return isA(item, kControlTypes) || swatch.match(item->objectName()).hasMatch();
}

bool isAncestor(const QQuickItem* ancestor, const QQuickItem* item) {
    for (const QQuickItem* p = item->parentItem(); p; p = p->parentItem())
        if (p == ancestor) return true;
    return false;
}

// Where a text's glyphs stand inside its item, from its alignment.
QRectF paintedRect(const QQuickItem* text) {
    const qreal w = text->property("contentWidth").toReal();
    const qreal h = text->property("contentHeight").toReal();
    const int horizontal = text->property("effectiveHorizontalAlignment").toInt();
    const int vertical = text->property("verticalAlignment").toInt();
    qreal x = 0, y = 0;
    if (horizontal & Qt::AlignRight)
        x = text->width() - w;
    else if (horizontal & Qt::AlignHCenter)
        x = (text->width() - w) / 2;
    if (vertical & Qt::AlignBottom)
        y = text->height() - h;
    else if (vertical & Qt::AlignVCenter)
        y = (text->height() - h) / 2;
    const QRectF glyphs(x, y, w, h);
    // An input field is its box as well as its text.
    if (text->inherits("QQuickTextInput"))
        return glyphs.united(QRectF(0, 0, text->width(), text->height()));
    return glyphs;
}

struct Shown {
    QQuickItem* item;
    QRectF rect;
    bool text;
    QQuickItem* owner; // the control a text or control stands in, if any
};

QString describe(const QQuickItem* item) {
    QString what;
    if (isText(item))
        what = "'" + item->property("text").toString() + "'";
    else
        what = qmlTypeName(item);
    for (const QQuickItem* p = item; p; p = p->parentItem())
        if (!p->objectName().isEmpty()) return what + " in " + p->objectName();
    return what;
}

QString describe(const Shown& s) {
    const QRectF& r = s.rect;
    return describe(s.item) + QString(" [%1,%2 %3x%4]")
                                  .arg(r.x(), 0, 'f', 0)
                                  .arg(r.y(), 0, 'f', 0)
                                  .arg(r.width(), 0, 'f', 0)
                                  .arg(r.height(), 0, 'f', 0);
}

bool overlap(const QRectF& a, const QRectF& b) {
    const QRectF both = a.intersected(b);
    return both.width() > kTolerance && both.height() > kTolerance;
}

bool inside(const QRectF& inner, const QRectF& outer) {
    return inner.left() >= outer.left() - kTolerance && inner.top() >= outer.top() - kTolerance &&
           inner.right() <= outer.right() + kTolerance &&
           inner.bottom() <= outer.bottom() + kTolerance;
}

class Collector {
public:
    Collector(const LayoutCheck& check, QStringList& faults) : m_check(check), m_faults(faults) {}

    void walk(QQuickItem* item, std::optional<QRectF> clip, QQuickItem* owner) {
        if (!item->isVisible() || item->opacity() <= 0.01) return;
        if (std::find(m_check.skip.begin(), m_check.skip.end(), item) != m_check.skip.end()) return;
        const QRectF rect =
            item->mapRectToItem(m_check.designSpace, QRectF(0, 0, item->width(), item->height()));
        const bool text = isText(item) && !item->property("text").toString().trimmed().isEmpty();
        const bool control = isControl(item);
        if (text || control) {
            const QRectF shownRect =
                text ? item->mapRectToItem(m_check.designSpace, paintedRect(item)) : rect;
            if (clip && !overlap(*clip, shownRect)) return; // scrolled away
            if (clip && !inside(shownRect, *clip)) {
                if (m_check.scrolled) return;
                m_faults << "cut by its view: " + describe(Shown{item, shownRect, text, owner});
            }
            shown.push_back(Shown{item, shownRect, text, owner});
        }
        if (control) owner = item;
        if (item->clip()) clip = clip ? clip->intersected(rect) : rect;
        for (QQuickItem* child : item->childItems()) walk(child, clip, owner);
    }

    std::vector<Shown> shown;

private:
    const LayoutCheck& m_check;
    QStringList& m_faults;
};

} // namespace

QString qmlTypeName(const QObject* item) {
    return strippedClassName(item->metaObject()->className());
}

QStringList layoutFaults(const LayoutCheck& check) {
    QStringList faults;
    Collector collector(check, faults);
    collector.walk(check.page, std::nullopt, nullptr);
    const std::vector<Shown>& shown = collector.shown;
    const QRectF area = check.page->mapRectToItem(
        check.designSpace, QRectF(0, 0, check.page->width(), check.page->height()));
    for (size_t i = 0; i < shown.size(); ++i) {
        const Shown& a = shown[i];
        if (!inside(a.rect, area)) faults << "outside its page: " + describe(a);
        if (a.owner) {
            const QRectF control = a.owner->mapRectToItem(
                check.designSpace, QRectF(0, 0, a.owner->width(), a.owner->height()));
            if (!inside(a.rect, control)) faults << "runs out of its control: " + describe(a);
        }
        for (size_t j = i + 1; j < shown.size(); ++j) {
            const Shown& b = shown[j];
            if (isAncestor(a.item, b.item) || isAncestor(b.item, a.item)) continue;
            if (overlap(a.rect, b.rect))
                faults << "overlap: " + describe(a) + " and " + describe(b);
        }
    }
    return faults;
}

namespace {

void allItems(QQuickItem* item, std::vector<QQuickItem*>& out) {
    out.push_back(item);
    for (QQuickItem* child : item->childItems()) allItems(child, out);
}

std::vector<QQuickItem*> allItems(QQuickItem* root) {
    std::vector<QQuickItem*> out;
    allItems(root, out);
    return out;
}

QString localPicture(const QUrl& url) {
    return url.scheme() == "file" ? url.toString(QUrl::RemoveScheme) : QString();
}

} // namespace

QStringList missingPictures(QQuickItem* root) {
    QStringList missing;
    for (QQuickItem* item : allItems(root)) {
        const QMetaObject* meta = item->metaObject();
        for (int i = 0; i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            if (property.userType() != QMetaType::QUrl) continue;
            const QString file = localPicture(property.read(item).toUrl());
            if (!file.isEmpty() && !QFileInfo::exists(file))
                missing << describe(item) + "." + property.name() + ": " + file;
        }
        // Image.Error is 3; Null (no source) is 0.
        if (item->inherits("QQuickImageBase") && item->property("status").toInt() == 3)
            missing << describe(item) + " did not load " + item->property("source").toString();
    }
    missing.removeDuplicates();
    return missing;
}

QStringList textsInOtherFonts(QQuickItem* root, const QString& family) {
    QStringList faults;
    for (QQuickItem* item : allItems(root)) {
        if (!isText(item)) continue;
        const QFont font = item->property("font").value<QFont>();
        if (font.family() != family)
            faults << describe(item) + " writes in " + font.family();
        else if (QFontInfo(font).family() != family)
            faults << describe(item) + " is drawn in " + QFontInfo(font).family();
    }
    return faults;
}

QStringList picturesOutOfStep(QQuickItem* root) {
    QStringList faults;
    for (QQuickItem* item : allItems(root)) {
        // Image.Ready is 1.
        if (!item->inherits("QQuickImage") || item->property("status").toInt() != 1) continue;
        const QSize drawn = item->property("sourceSize").toSize();
        const QSize shown(qRound(item->width()), qRound(item->height()));
        if (drawn != shown)
            faults << describe(item) + QString(": %1 drawn %2x%3, shown %4x%5")
                                           .arg(item->property("source").toString())
                                           .arg(drawn.width())
                                           .arg(drawn.height())
                                           .arg(shown.width())
                                           .arg(shown.height());
    }
    return faults;
}

QStringList togglesWithoutDistinctStates(QQuickItem* root) {
    QStringList faults;
    for (QQuickItem* item : allItems(root)) {
        if (!isA(item, {"Button_2s"})) continue;
        const QString off = localPicture(item->property("source0").toUrl());
        const QString on = localPicture(item->property("source1").toUrl());
        if (off == on || QImage(off) == QImage(on))
            faults << describe(item) + ": " + off + " and " + on;
    }
    return faults;
}

} // namespace panel_test
