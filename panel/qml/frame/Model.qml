import QtQuick 2.15

// The headset picture with its six feature badges below it; a badge's
// colour shows whether its feature is on.
Item {
    id: model
    signal clicked(int index, int keyCode, int keyCodeDefault, string name)

    width: 1300
    height: 1400

    Image {
        anchors.fill: parent
        source: "file:img/device/headset.png"
    }
    Grid {
        objectName: "model_badges"
        x: 50
        y: 1060
        columns: 3
        spacing: 30
        Repeater {
            // [badge colour, label]
            model: [[main.selectColor1, main.uiStrings[106]], [main.selectColor2, main.uiStrings[107]],
                    [main.selectColor3, main.uiStrings[108]], [main.selectColor4, main.uiStrings[109]],
                    [main.selectColor5, main.uiStrings[112]], [main.selectColor6, main.uiStrings[14]]]
            Rectangle {
                readonly property color fill: modelData[0]
                // Dark writing on a light badge, light on a dark one.
                readonly property bool light: 0.299 * fill.r + 0.587 * fill.g + 0.114 * fill.b > 0.55
                objectName: "badge" + index
                width: 380
                height: 64
                radius: 32
                color: fill
                border.width: 2
                border.color: Qt.lighter(fill, 1.25)
                Text {
                    anchors.centerIn: parent
                    text: modelData[1].trim()
                    font.family: main.fontFamily
                    font.pixelSize: main.fontSize * 0.8
                    color: parent.light ? "#1A1F26" : main.fontColor2
                }
            }
        }
    }
}
