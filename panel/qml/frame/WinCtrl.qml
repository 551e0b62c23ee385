import QtQuick 2.15
import "qrc:/qml/common"

// The window buttons at the top right: settings (on or off), minimise, close.
// Closing only hides the window; the program stays in the tray.
Item {
    id: ctrl
    property alias isSelect: settingButton.isSelect
    signal gSettingClicked(bool _isSelect)

    width: 3 * 90 + 2 * 20
    height: 90

    Row {
        spacing: 20
        Button_2s {
            id: settingButton
            objectName: "winCtrl_setting"
            width: 90
            height: 90
            source0: "file:img/frame/setting_0.png"
            source1: "file:img/frame/setting_1.png"
            onClicked: function (isSelect) { ctrl.gSettingClicked(isSelect) }
        }
        PushButton {
            objectName: "winCtrl_minimize"
            width: 90
            height: 90
            source0: "file:img/frame/minimize_0.png"
            source1: "file:img/frame/minimize_1.png"
            source2: "file:img/frame/minimize_1.png"
            onClicked: zen.showMinimized()
        }
        PushButton {
            objectName: "winCtrl_close"
            width: 90
            height: 90
            source0: "file:img/frame/close_0.png"
            source1: "file:img/frame/close_1.png"
            source2: "file:img/frame/close_1.png"
            onClicked: view.onHide()
        }
    }
}
