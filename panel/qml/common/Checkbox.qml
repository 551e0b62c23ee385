import QtQuick 2.15

// A check image with its label beside it; a click turns it over.
Item {
    id: box
    property bool isSelect: false
    property string chkStr: ""
    property int space: 20
    signal clicked

    width: mark.width + space + caption.implicitWidth
    height: 50

    Image {
        id: mark
        width: 50
        height: 50
        source: box.isSelect ? "file:img/common/check_1.png" : "file:img/common/check_0.png"
    }
    Text {
        id: caption
        x: mark.width + box.space
        height: parent.height
        verticalAlignment: Text.AlignVCenter
        text: box.chkStr
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: box.isSelect ? main.fontColor1 : main.fontColor0
    }
    MouseArea {
        objectName: box.objectName + "_area"
        anchors.fill: parent
        onClicked: {
            box.isSelect = !box.isSelect
            box.clicked()
        }
    }
}
