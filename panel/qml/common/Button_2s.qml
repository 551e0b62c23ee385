import QtQuick 2.15

// A two-state image button: each click turns it over and reports the new state.
Item {
    id: button
    property bool isSelect: false
    property url source0: "file:img/common/toggle_0.png"
    property url source1: "file:img/common/toggle_1.png"
    property alias text: label
    signal clicked(bool isSelect)

    width: 160
    height: 70

    Image {
        anchors.fill: parent
        source: button.isSelect ? button.source1 : button.source0
    }
    Text {
        id: label
        anchors.centerIn: parent
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: button.isSelect ? main.fontColor1 : main.fontColor0
    }
    MouseArea {
        objectName: button.objectName + "_area"
        anchors.fill: parent
        onClicked: {
            button.isSelect = !button.isSelect
            button.clicked(button.isSelect)
        }
    }
}
