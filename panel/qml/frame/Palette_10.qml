import QtQuick 2.15

// The settings page's ten text colours.
PaletteGrid {
    count: 10
}
