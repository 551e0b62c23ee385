import QtQuick 2.15

// A scrollable list of file names; a name can be edited in place, and the
// list reports the old and the new name when the edit is accepted.
Item {
    id: files
    property ListModel mdItems: ListModel {}
    property alias lvItems: view
    property int scroll_flg_: -1
    property int editingIndex: -1
    signal listElementClicked(int index)
    signal listElementDoubleClicked(int index)
    signal listElementRightBtnClicked(int index, real x, real y)
    signal editFileName_start(int index)
    signal editFileName_completed(string oldName, string newName)

    width: 600
    height: 700

    function editFileName(index) {
        if (index < 0 || index >= mdItems.count)
            return
        editingIndex = index
        view.currentIndex = index
        editFileName_start(index)
    }
    function finishEdit(newName) {
        const index = editingIndex
        editingIndex = -1
        const oldName = mdItems.get(index).name
        if (newName === "" || newName === oldName)
            return
        mdItems.setProperty(index, "name", newName)
        editFileName_completed(oldName, newName)
    }

    MouseArea {
        objectName: files.objectName + "_hover"
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.NoButton
        onEntered: files.scroll_flg_ = 0
        onExited: files.scroll_flg_ = -1
    }
    ListView {
        id: view
        objectName: files.objectName + "_view"
        anchors.fill: parent
        clip: true
        model: files.mdItems
        delegate: Item {
            width: view.width
            height: 60
            Rectangle {
                anchors.fill: parent
                color: index === view.currentIndex ? main.colorGray : "transparent"
            }
            Text {
                x: 20
                height: parent.height
                verticalAlignment: Text.AlignVCenter
                visible: index !== files.editingIndex
                text: name
                font.family: main.fontFamily
                font.pixelSize: main.fontSize
                color: index === view.currentIndex ? main.fontColor1 : main.fontColor0
            }
            MouseArea {
                objectName: files.objectName + "_item" + index
                anchors.fill: parent
                acceptedButtons: Qt.LeftButton | Qt.RightButton
                onClicked: function (mouse) {
                    view.currentIndex = index
                    if (mouse.button === Qt.RightButton)
                        files.listElementRightBtnClicked(index, mouse.x, mouse.y)
                    else
                        files.listElementClicked(index)
                }
                onDoubleClicked: files.listElementDoubleClicked(index)
            }
            TextInput {
                objectName: files.objectName + "_edit" + index
                x: 20
                width: parent.width - 40
                height: parent.height
                verticalAlignment: TextInput.AlignVCenter
                visible: index === files.editingIndex
                focus: visible
                text: name
                font.family: main.fontFamily
                font.pixelSize: main.fontSize
                color: main.fontColor1
                onAccepted: files.finishEdit(text)
            }
        }
    }
}
