import QtQuick 2.15

// One area of the device page: a title, its ON/OFF switch when it has one,
// and the area's controls below. The area is as tall as what it holds, so a
// larger font or a longer language never runs into the next area.
Item {
    id: section
    property string title: ""
    property Item switchItem: null
    default property alias content: body.data
    readonly property int titleHeight: 70
    readonly property int gap: 40

    width: 1900
    height: Math.max(titleHeight, body.childrenRect.y + body.childrenRect.height) + gap

    onSwitchItemChanged: {
        if (!switchItem)
            return
        switchItem.parent = section
        switchItem.x = 1500
        const sw = switchItem
        sw.text.text = Qt.binding(function () { return sw.isSelect ? main.uiStrings[20] : main.uiStrings[21] })
    }

    Text {
        height: section.titleHeight
        verticalAlignment: Text.AlignVCenter
        text: section.title.trim()
        font.family: main.fontFamily
        font.pixelSize: main.fontSize + 6
        color: main.fontColor1
    }
    Item {
        id: body
        width: parent.width
    }
}
