import QtQuick 2.15

// The device page's seven LED colours.
PaletteGrid {
    count: 7
}
