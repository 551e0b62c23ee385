import QtQuick 2.15

// A numbered key of the headset picture; a marker shows when its assignment
// differs from the factory one.
Item {
    id: key
    property int keyCode: 0
    property int keyCodeDefault: 0
    readonly property bool isDirty: keyCode !== keyCodeDefault
    property alias textX: number.text
    signal clicked

    width: 90
    height: 90

    Image {
        anchors.fill: parent
        source: "file:img/common/key_0.png"
    }
    Text {
        id: number
        anchors.centerIn: parent
        font.family: main.fontFamily2
        font.italic: true
        font.pixelSize: main.fontSize
        color: main.fontColor2
    }
    Rectangle {
        visible: key.isDirty
        anchors.right: parent.right
        width: 16
        height: 16
        radius: 8
        color: main.colorPrimary
    }
    MouseArea {
        objectName: key.objectName + "_area"
        anchors.fill: parent
        onClicked: key.clicked()
    }
}
