import QtQuick 2.15

// An image button with a label. The picture follows the pointer: normal,
// hovered, and selected (held for a selected button, shown while pressed).
Item {
    id: button
    property bool isSelect: false
    property url source0: "file:img/common/button_0.png"
    property url source1: "file:img/common/button_1.png"
    property url source2: "file:img/common/button_2.png"
    property int textX: 0
    property alias text: label
    signal clicked

    width: 240
    height: 80

    // The picture stretches between its rounded corners.
    BorderImage {
        anchors.fill: parent
        border { left: 24; right: 24; top: 24; bottom: 24 }
        source: button.isSelect || area.pressed ? button.source2
                                                : area.containsMouse ? button.source1 : button.source0
    }
    Text {
        id: label
        x: button.textX
        width: parent.width - button.textX
        height: parent.height
        horizontalAlignment: button.textX === 0 ? Text.AlignHCenter : Text.AlignLeft
        verticalAlignment: Text.AlignVCenter
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: button.isSelect ? main.fontColor1 : main.fontColor0
    }
    MouseArea {
        id: area
        objectName: button.objectName + "_area"
        anchors.fill: parent
        hoverEnabled: true
        onClicked: button.clicked()
    }
}
