import QtQuick 2.15

// A collapsible section: a header button that reports its index when
// clicked, and the section's content, shown while this section is the open
// one.
Item {
    id: menu
    property int index: 0
    property int parentIndex: -1
    readonly property bool isSelect: index === parentIndex
    property string textX: ""
    default property alias content: body.data
    signal clicked(int _index)

    width: 700
    height: 70 + (isSelect ? body.implicitHeight : 0)

    Button {
        objectName: menu.objectName + "_header"
        width: parent.width
        height: 70
        textX: 20
        isSelect: menu.isSelect
        text.text: menu.textX
        onClicked: menu.clicked(menu.index)
    }
    Column {
        id: body
        y: 70
        width: parent.width
        visible: menu.isSelect
    }
}
