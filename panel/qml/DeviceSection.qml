import QtQuick 2.15

// One area of the device page: a title, its ON/OFF switch when it has one,
// and the area's controls below.
Item {
    id: section
    property string title: ""
    property Item switchItem: null
    default property alias content: body.data

    width: 1900

    onSwitchItemChanged: {
        if (!switchItem)
            return
        switchItem.parent = section
        switchItem.x = 1500
        const sw = switchItem
        sw.text.text = Qt.binding(function () { return sw.isSelect ? main.uiStrings[20] : main.uiStrings[21] })
    }

    Text {
        height: 70
        verticalAlignment: Text.AlignVCenter
        text: section.title
        font.family: main.fontFamily
        font.pixelSize: main.fontSize + 6
        color: main.fontColor1
    }
    Item {
        id: body
        anchors.fill: parent
    }
}
