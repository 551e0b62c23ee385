import QtQuick 2.15
import "qrc:/qml/common"

// The page footer. Only RESET shows: the profile row, its label, APPLY and
// the firmware text are built but kept hidden and disabled.
Item {
    id: footer
    property int currentProfile: 0
    signal clicked_profile(int index)
    signal clicked_reset
    signal clicked_apply

    width: 3340
    height: 120

    Connections {
        target: main
        function onMsg_INIT() { footer.currentProfile = view.getProfileId() - 1 }
        function onMsg_DISCINNECT() { firmware.text = view.getFirmwareVersion() }
    }

    Text {
        id: profileLabel
        visible: false
        enabled: false
        height: parent.height
        verticalAlignment: Text.AlignVCenter
        text: main.uiStrings[10]
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: main.fontColor0
    }
    Row {
        x: 300
        spacing: 20
        visible: false
        enabled: false
        Repeater {
            model: 5
            Button {
                objectName: "footer_profile" + index
                width: 100
                height: 100
                isSelect: index === footer.currentProfile
                text.text: index + 1
                onClicked: {
                    footer.currentProfile = index
                    footer.clicked_profile(index)
                }
            }
        }
    }
    PushButton {
        objectName: "footer_reset"
        x: 2700
        y: 20
        text.text: main.uiStrings[11]
        onClicked: {
            main.closeEqPanel()
            footer.clicked_reset()
        }
    }
    PushButton {
        objectName: "footer_apply"
        x: 3000
        y: 20
        visible: false
        enabled: false
        text.text: main.uiStrings[12]
        onClicked: footer.clicked_apply()
    }
    Text {
        id: firmware
        visible: false
        enabled: false
        x: 1200
        height: parent.height
        verticalAlignment: Text.AlignVCenter
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: main.fontColor0
    }
}
