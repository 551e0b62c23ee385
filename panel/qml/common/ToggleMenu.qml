import QtQuick 2.15

// A collapsible section: a header that reports its index when clicked, and
// the section's content, shown while this section is the open one.
Item {
    id: menu
    property int index: 0
    property int parentIndex: -1
    readonly property bool isSelect: index === parentIndex
    property alias textX: header.text
    default property alias content: body.data
    signal clicked(int _index)

    width: 700
    height: 70 + (isSelect ? body.implicitHeight : 0)

    Image {
        width: parent.width
        height: 70
        source: menu.isSelect ? "file:img/common/button_2.png" : "file:img/common/button_0.png"
    }
    Text {
        id: header
        x: 20
        height: 70
        verticalAlignment: Text.AlignVCenter
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: menu.isSelect ? main.fontColor1 : main.fontColor0
    }
    MouseArea {
        objectName: menu.objectName + "_header"
        width: parent.width
        height: 70
        onClicked: menu.clicked(menu.index)
    }
    Column {
        id: body
        y: 70
        width: parent.width
        visible: menu.isSelect
    }
}
