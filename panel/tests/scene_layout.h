#pragma once

// What a user would call a broken layout, read from the items' geometry:
// two texts over each other, a text over a control it does not belong to, a
// label running out of its control, two controls over each other, or
// anything outside its page or cut by a clipping area. And the pictures the
// scene names: each must exist, and each shown one must have loaded.

#include <QQuickItem>
#include <QStringList>

#include <vector>

namespace panel_test {

struct LayoutCheck {
    // The page whose area everything it shows must lie in.
    QQuickItem* page = nullptr;
    // The item whose coordinates are the scene's design units.
    QQuickItem* designSpace = nullptr;
    // Sub-trees checked as pages of their own (an overlay, a popup).
    std::vector<QQuickItem*> skip;
    // A scrolled view cuts what stands at its edges; only what shows whole is
    // checked then.
    bool scrolled = false;
};

// One line per fault, naming the items by their text or object name.
QStringList layoutFaults(const LayoutCheck& check);

// Every "file:" picture an item under `root` names that does not exist (as
// a path relative to the working folder), and every shown picture that did
// not load.
QStringList missingPictures(QQuickItem* root);

// The texts under `root` that do not write in `family`, or whose family is
// not the one the system draws them with (a fallback font).
QStringList textsInOtherFonts(QQuickItem* root, const QString& family);

// The shown pictures under `root` that are scaled: the table the pictures
// are drawn from gives each the size the scene shows it at. (A picture
// stretched by its corners is drawn to be stretched.)
QStringList picturesOutOfStep(QQuickItem* root);

// The two-state buttons under `root` whose two pictures are the same file or
// look the same.
QStringList togglesWithoutDistinctStates(QQuickItem* root);

// The name of an item's QML type ("Button"), or its C++ class.
QString qmlTypeName(const QObject* item);

} // namespace panel_test
