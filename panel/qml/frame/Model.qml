import QtQuick 2.15

// The headset picture with its six feature badges; a badge's colour shows
// whether its feature is on.
Item {
    id: model
    signal clicked(int index, int keyCode, int keyCodeDefault, string name)

    width: 1300
    height: 1400

    Image {
        anchors.fill: parent
        source: "file:img/device/headset.png"
    }
    Column {
        x: 100
        y: 1000
        spacing: 20
        Repeater {
            // [badge colour, label]
            model: [[main.selectColor1, main.uiStrings[106]], [main.selectColor2, main.uiStrings[107]],
                    [main.selectColor3, main.uiStrings[108]], [main.selectColor4, main.uiStrings[109]],
                    [main.selectColor5, main.uiStrings[112]], [main.selectColor6, main.uiStrings[14]]]
            Rectangle {
                objectName: "badge" + index
                width: 500
                height: 40
                radius: 20
                color: modelData[0]
                Text {
                    anchors.centerIn: parent
                    text: modelData[1]
                    font.family: main.fontFamily
                    font.pixelSize: main.fontSize * 0.8
                    color: main.fontColor2
                }
            }
        }
    }
}
