import QtQuick 2.15
import "qrc:/qml/common"

// Colour swatches in rows of five with R, G, B fields for the selected one;
// the two palettes differ only in how many swatches they hold.
Item {
    id: palette
    property int count: 10
    property int currentIndex: 0
    property var get: []
    signal clicked

    width: 5 * 110
    height: Math.ceil(count / 5) * 110 + 80

    function setCurIndex(index) {
        if (index < 0 || index >= count)
            return
        currentIndex = index
        fieldR.text = get[index]._R
        fieldG.text = get[index]._G
        fieldB.text = get[index]._B
    }
    // A typed value, held to 0..255, goes into the selected swatch.
    function storeField(field, channel) {
        const value = Math.max(0, Math.min(255, parseInt(field.text) || 0))
        get[currentIndex][channel] = value
        field.text = value
        clicked()
    }

    Repeater {
        id: swatches
        model: palette.count
        Rectangle {
            property int _R: 255
            property int _G: 255
            property int _B: 255
            objectName: palette.objectName + "_swatch" + index
            x: (index % 5) * 110
            y: Math.floor(index / 5) * 110
            width: 90
            height: 90
            color: Qt.rgba(_R / 255, _G / 255, _B / 255, 1)
            radius: 10
            // An edge shows a dark colour on the dark panel; the chosen
            // swatch has a wide one in white.
            border.width: index === palette.currentIndex ? 6 : 2
            border.color: index === palette.currentIndex ? "#F0FFFFFF" : "#505862"
            MouseArea {
                objectName: parent.objectName + "_area"
                anchors.fill: parent
                onClicked: {
                    palette.setCurIndex(index)
                    palette.clicked()
                }
            }
        }
    }
    Row {
        y: Math.ceil(palette.count / 5) * 110
        spacing: 20
        Repeater {
            model: ["R", "G", "B"]
            Text {
                width: 160
                text: modelData
                font.family: main.fontFamily
                font.pixelSize: main.fontSize
                color: main.fontColor0
            }
        }
    }
    TextInput {
        id: fieldR
        objectName: palette.objectName + "_R"
        x: 50
        y: Math.ceil(palette.count / 5) * 110
        width: 100
        text: "255"
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: main.fontColor1
        validator: IntValidator { bottom: 0; top: 255 }
        onEditingFinished: palette.storeField(fieldR, "_R")
    }
    TextInput {
        id: fieldG
        objectName: palette.objectName + "_G"
        x: 230
        y: fieldR.y
        width: 100
        text: "255"
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: main.fontColor1
        validator: IntValidator { bottom: 0; top: 255 }
        onEditingFinished: palette.storeField(fieldG, "_G")
    }
    TextInput {
        id: fieldB
        objectName: palette.objectName + "_B"
        x: 410
        y: fieldR.y
        width: 100
        text: "255"
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: main.fontColor1
        validator: IntValidator { bottom: 0; top: 255 }
        onEditingFinished: palette.storeField(fieldB, "_B")
    }
    Component.onCompleted: {
        const items = []
        for (let i = 0; i < count; ++i)
            items.push(swatches.itemAt(i))
        get = items
    }
}
