import QtQuick 2.15
import "qrc:/qml/common"
import "qrc:/qml"
import "qrc:/qml/frame"

// The scene root: what the program invokes, the signals the pages listen to,
// which page is active, and the style every text shares. Designed at
// 3500 x 1800 and scaled by the zoom rate the program sets.
Item {
    id: main
    objectName: "main"

    property real zoomRate: 1.0
    property string fontFamily: "consolas"
    property string fontFamily2: keyNumberFont.name
    property int fontSize: 34
    property int langCode: 31000
    property color fontColor0: "#FF8A8A8A"
    property color fontColor1: "#00ccff"
    property color fontColor2: "#C0FFFFFF"
    property color fontColor_darkGray: "#333333"
    property color colorPrimary: "#FBA919"
    property color colorGray: "#333333"
    // How a control the page ignores in the current mode is drawn.
    readonly property real inertOpacity: 0.35
    property color selectColor1: "#666666"
    property color selectColor2: "#666666"
    property color selectColor3: "#666666"
    property color selectColor4: "#666666"
    property color selectColor5: "#666666"
    property color selectColor6: "#666666"
    // Index 0 is the font family; the others match the language files.
    readonly property var builtInStrings: [
        "Consolas", "LANGUAGE", "FONT", "SIZE", "COLOR", "LIGHT", "NORMAL", "LARGER", "RESET",
        "APPLY", "PROFILE", "RESET", "APPLY", "MACRO MANAGER", "LIGHTING", "EFFECT", "BRIGHTNESS",
        "SPEED", "COLOR", "GAMING MODE", "ON", "OFF", "REPORT RATE", "SENSOR", "DPI",
        "CURSOR SPEED", "VERTICAL SCROLL SPEED", "DOUBLE CLICK SPEED", "CONSTANT", "BREATHE",
        "BLINK", "HEART BEAT", "WAVE", "MARQUEE", "RAINING", "LOD", "KEY ASSIGN", "MOUSE",
        "KEYBOARD", "HOT KEY", "MACRO", "STANDARD KEY", "DPI & SCROLL", "FIRE KEY", "SHOOT",
        "TIMES", "REPEAT WHEN PRESS", "UNKNOW", "PRESS ANY", "SINGLE KEY", "COMBO KEY", "DISABLE",
        "DEFAULT", "CANCEL", "APPLY", "LEFT", "RIGHT", "MIDDLE", "FORWARD", "BACKWARD", "DPI +",
        "DPI -", "DPI SWITCH", "SCROLL UP", "SCROLL DOWN", "MEDIA NEXT TRACK",
        "MEDIA PREVIOUS TRACK", "MEDIA STOP", "MEDIA PLAY / PAUSE", "MEDIA MUTE",
        "MEDIA VOLUME UP", "MEDIA VOLUME DOWN", "MEDIA SELECT", "WINDOWS MAIL",
        "WINDOWS CALCULATOR", "WINDOWS MY COMPUTER", "WEB SEARCH", "WEB HOME", "WEB BACK",
        "WEB FORWARD", "WEB STOP", "WEB REFRESH", "WEB FAVORITES", "MACRO MANAGER", "MACRO",
        "ACTION", "OPTION", "CREATE", "DELETE", "RECORD/STOP", "CLOSE", "DELAY TIME (ms)",
        "RUN TIMES", "FIRE KEY", "TRIPLE CLICK", "DPI SWITCH", "NORMAL PLAY", "TIMES",
        "ALWAYS REPEAT", "REPEAT ON PRESSED", "POLLING RATE", "CURSOR SPEED",
        "VERTICAL SCROLL SPEED", "DOUBLE CLICK SPEED", "No macro files have been recorded.",
        "Voice Clarity Level", "Voice Clarity", "Surround Headphone", "ENC", " Magic Voice",
        "Noise Suppression Level", "Volume Control", "Equalizer", "Speaker", "Microphone", "L",
        "R"
    ]
    property var uiStrings: builtInStrings.slice()
    property int scroll_flg: -1
    // One bit per component: 0x01 footer, 0x02 device page, 0x04 key
    // definition, 0x10 settings, 0x20 window buttons.
    property int flag_show: 0x23
    property bool deviceReady: false

    signal msg_INIT
    signal msg_DISCINNECT
    signal msg_LoadCurrentProfile
    signal msg_Translate
    signal emptyAreaPressed
    signal msg_Vender(int mode, int color, int bright, int speed)
    signal msg_HidRead(int mode)
    signal msg_DriverRead_SpVolMute(int vol_enable_sp)
    signal msg_DriverRead_SpVolValue(int vol_value_sp)
    signal msg_DriverRead_SpVolValue_LR(int vol_value_sp_L, int vol_value_sp_R)
    signal msg_DriverRead_MicVolMute(int vol_enable_mic)
    signal msg_DriverRead_MicVolValue(int vol_value_mic)
    signal msg_DriverRead_SurEnable(int sur_enable)
    signal msg_DriverRead_EncEnable(int enc_enable)
    signal msg_DriverRead_Vc(int vc_enable, int vc_level, int vc_supp)
    signal msg_DriverRead_Mgi(int mgi_enable, int mgi_mode)
    signal msg_DriverRead_EqEnable(int eq_enable)
    signal msg_DriverRead_EqValue(int eq_v1, int eq_v2, int eq_v3, int eq_v4, int eq_v5,
                                  int eq_v6, int eq_v7, int eq_v8, int eq_v9, int eq_v10)
    signal scroll(var numSteps)

    width: 3500 * zoomRate
    height: 1800 * zoomRate
    clip: true

    function init() {
        deviceReady = true
        msg_INIT()
        msg_LoadCurrentProfile()
    }
    function show() {
        fadeIn.restart()
    }
    function disconnect() { msg_DISCINNECT() }
    function onVender(mode, color, bright, speed) { msg_Vender(mode, color, bright, speed) }
    function onHidRead(mode) { msg_HidRead(mode) }
    function onDriverRead_SpVolMute(v) { msg_DriverRead_SpVolMute(v) }
    function onDriverRead_SpVolValue(v) { msg_DriverRead_SpVolValue(v) }
    function onDriverRead_SpVolValue_LR(l, r) { msg_DriverRead_SpVolValue_LR(l, r) }
    function onDriverRead_MicVolMute(v) { msg_DriverRead_MicVolMute(v) }
    function onDriverRead_MicVolValue(v) { msg_DriverRead_MicVolValue(v) }
    function onDriverRead_SurEnable(v) { msg_DriverRead_SurEnable(v) }
    function onDriverRead_EncEnable(v) { msg_DriverRead_EncEnable(v) }
    function onDriverRead_Vc(on, level, supp) { msg_DriverRead_Vc(on, level, supp) }
    function onDriverRead_Mgi(on, mode) { msg_DriverRead_Mgi(on, mode) }
    function onDriverRead_EqEnable(v) { msg_DriverRead_EqEnable(v) }
    function onDriverRead_EqValue(v1, v2, v3, v4, v5, v6, v7, v8, v9, v10) {
        msg_DriverRead_EqValue(v1, v2, v3, v4, v5, v6, v7, v8, v9, v10)
    }

    function closeEqPanel() { pageDevice.closeEqPanel() }
    function closeSettings() {
        winCtrl.isSelect = false
        flag_show = 0x23
    }
    function openKeyDefine(index, keyCode, keyCodeDefault, name) {
        if (pageKeyDefine.open(index, keyCode, keyCodeDefault, name))
            flag_show = 0x04
    }

    // The key number labels' face: the font the language files name, which
    // the labels set in italic.
    FontLoader {
        id: keyNumberFont
        name: "WenQuanYi Micro Hei"
    }

    Item {
        id: content
        width: 3500
        height: 1800
        scale: main.zoomRate
        transformOrigin: Item.TopLeft

        Image {
            anchors.fill: parent
            source: "file:img/frame/background.png"
        }
        Image {
            objectName: "welcome"
            anchors.centerIn: parent
            width: 1400
            height: 500
            visible: !main.deviceReady
            source: "file:img/frame/welcome.png"
        }
        // The window has no frame: a drag on an empty area moves it.
        MouseArea {
            id: dragArea
            objectName: "main_dragArea"
            property point pressPoint
            anchors.fill: parent
            onPressed: function (mouse) {
                main.emptyAreaPressed()
                pressPoint = Qt.point(mouse.x, mouse.y)
                main.closeEqPanel()
            }
            onPositionChanged: function (mouse) {
                view.onXChanged(mouse.x - pressPoint.x)
                view.onYChanged(mouse.y - pressPoint.y)
            }
        }
        Item {
            id: pages
            objectName: "pages"
            anchors.fill: parent
            opacity: 0

            Page_device {
                id: pageDevice
                x: 80
                y: 150
                visible: main.deviceReady
                enabled: (main.flag_show & 0x02) !== 0
                opacity: enabled ? 1.0 : 0.2
                onMouseKeyClicked: function (index, keyCode, keyCodeDefault, name) {
                    main.openKeyDefine(index, keyCode, keyCodeDefault, name)
                }
                onMacroManagerClicked: main.flag_show = 0x08
                onSpeakersEqClicked: main.flag_show = 0x08
            }
            DevicePageController {
                id: footer
                objectName: "footer"
                x: 80
                y: 1650
                enabled: (main.flag_show & 0x01) !== 0
                opacity: enabled ? 1.0 : 0.2
                onClicked_profile: function (index) {
                    view.setProfileId(index + 1)
                    main.msg_LoadCurrentProfile()
                }
                onClicked_reset: pageDevice.reset()
                onClicked_apply: pageDevice.setOption()
            }
            Page_keyDefine {
                id: pageKeyDefine
                anchors.centerIn: parent
                visible: (main.flag_show & 0x04) !== 0
                onCloseClicked: main.flag_show = 0x23
            }
            Page_setting {
                id: pageSetting
                x: 2150
                y: 371
                visible: (main.flag_show & 0x10) !== 0
                onCloseClicked: main.closeSettings()
            }
            WinCtrl {
                id: winCtrl
                objectName: "winCtrl"
                x: 3500 - width - 40
                y: 30
                enabled: (main.flag_show & 0x20) !== 0
                opacity: enabled ? 1.0 : 0.2
                onGSettingClicked: function (_isSelect) { main.flag_show = _isSelect ? 0x30 : 0x23 }
            }
        }
    }
    NumberAnimation {
        id: fadeIn
        objectName: "fadeIn"
        target: pages
        property: "opacity"
        from: 0
        to: 1
        duration: 500
        easing.type: Easing.OutExpo
    }
}
