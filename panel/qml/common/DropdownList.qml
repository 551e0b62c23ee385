import QtQuick 2.15

// A drop-down list over a ListModel whose entries carry `textX`. Until an
// entry is chosen the head shows "=== OPTIONS ===".
Item {
    id: list
    property ListModel mdItems: ListModel {}
    property int defaultIndex: -1
    property int currentIndex: defaultIndex
    readonly property bool opened: popup.visible
    signal listElementClicked(int index)
    signal listOpened
    signal listClosed

    width: 500
    height: 70

    function setCurIndex(index) {
        currentIndex = index >= 0 && index < mdItems.count ? index : -1
    }
    function getCurIndex() {
        return currentIndex
    }
    function showList() {
        if (popup.visible)
            return
        popup.visible = true
        listOpened()
    }
    function closeList() {
        if (!popup.visible)
            return
        popup.visible = false
        listClosed()
    }

    Image {
        anchors.fill: parent
        source: "file:img/common/dropdown.png"
    }
    Text {
        x: 20
        height: parent.height
        verticalAlignment: Text.AlignVCenter
        text: list.currentIndex >= 0 && list.currentIndex < list.mdItems.count
              ? list.mdItems.get(list.currentIndex).textX : "=== OPTIONS ==="
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: main.fontColor1
    }
    MouseArea {
        objectName: list.objectName + "_head"
        anchors.fill: parent
        onClicked: popup.visible ? list.closeList() : list.showList()
    }
    Rectangle {
        id: popup
        y: list.height
        z: 10
        width: list.width
        height: list.mdItems.count * list.height
        visible: false
        color: main.colorGray
        Column {
            Repeater {
                model: list.mdItems
                Item {
                    width: list.width
                    height: list.height
                    Text {
                        x: 20
                        height: parent.height
                        verticalAlignment: Text.AlignVCenter
                        text: textX
                        font.family: main.fontFamily
                        font.pixelSize: main.fontSize
                        color: index === list.currentIndex ? main.fontColor1 : main.fontColor0
                    }
                    MouseArea {
                        objectName: list.objectName + "_item" + index
                        anchors.fill: parent
                        onClicked: {
                            list.currentIndex = index
                            list.closeList()
                            list.listElementClicked(index)
                        }
                    }
                }
            }
        }
    }
}
