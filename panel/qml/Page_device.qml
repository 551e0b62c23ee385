import QtQuick 2.15
import "qrc:/qml/common"
import "qrc:/qml/frame"

// The main page: every headset setting the user can change, and the live
// view of what the driver and the headset report. A user's change goes to
// the device at once; a driver report is recorded in the profile. Each area
// has an echo flag: a user action sets it, and the next driver report for
// that area, which may have crossed the change, is ignored once.
Item {
    id: page
    objectName: "page_device"

    property bool click_speaker_sd: false
    property bool click_mic_sd: false
    property bool click_eq_sd: false
    property bool click_voiceClarity: false
    property bool click_surround: false
    property bool click_enc: false
    property bool click_voiceMagic: false
    property bool click_reset_btn: false

    property int eqPreset: 11
    property int magicMode: 0
    property int speakerSide: 0
    property int micSide: 0
    property bool eqPanelOpen: false
    readonly property color badgeOff: Qt.rgba(102 / 255, 102 / 255, 102 / 255, 1)
    readonly property color badgeButtonOn: Qt.rgba(1, 51 / 255, 51 / 255, 1)

    // Factory gains of the twelve presets, bands 1..10; position = 20 - gain.
    readonly property var eqFactory: [
        [5, 2, 0, -10, -5, 0, 6, 12, 11, 10], [-13, -9, -4, 2, 8, 12, 2, -11, -2, 8],
        [12, 7, -3, 4, 13, 8, 3, -3, 8, 12], [-8, 6, 0, 8, -8, 10, -2, 13, 8, 1],
        [5, 5, 2, -2, -8, -12, -4, 0, 7, 9], [6, 3, -8, -12, -4, 3, 8, 10, 10, 7],
        [-6, 0, 4, 8, 9, 9, 5, 3, 2, 1], [-10, -11, -12, -6, 2, 8, 13, 13, 11, 14],
        [11, 7, 3, 0, 0, -6, -10, -10, -2, -2], [0, 7, -1, -7, -12, -8, 0, 10, 4, -5],
        [-13, -8, 0, 6, 14, 4, -4, -7, -8, -10], [0, 0, 0, 0, 0, 0, 0, 0, 0, 0]]
    readonly property var eqPresetNames: ["Dance", "Rap", "Metal", "Jazz", "SoftRock", "Rock", "Live",
                                          "Treble", "Bass", "Classic", "Opera", "Default"]
    readonly property var resetColours: [[255, 0, 0], [255, 255, 0], [0, 255, 0], [0, 255, 255],
                                         [0, 0, 255], [255, 0, 255], [255, 255, 255]]
    // Offsets of the option block the page loads.
    readonly property int kSavedEq: 51
    readonly property int kOptionBytes: 181

    signal mouseKeyClicked(int index, int keyCode, int keyCodeDefault, string name)
    signal macroManagerClicked
    signal speakersEqClicked

    width: 3340
    height: 1450

    function bit(on) { return on ? 1 : 0 }
    function speakerValues() {
        return [bit(!speakerLock.isSelect), speakerSide, 100 - speakerL.getCurIndex(),
                100 - speakerR.getCurIndex()]
    }
    function micValues() {
        return [bit(!micLock.isSelect), micSide, 100 - micL.getCurIndex(), 100 - micR.getCurIndex()]
    }
    function bandPositions() {
        const positions = []
        for (let k = 0; k < 10; ++k)
            positions.push(eqBands.itemAt(k).getCurIndex())
        return positions
    }
    function setBandPositions(positions) {
        for (let k = 0; k < 10; ++k)
            eqBands.itemAt(k).setCurIndex(positions[k])
    }
    function factoryPositions(preset) {
        return eqFactory[preset].map(function (gain) { return 20 - gain })
    }
    function colourEntries() {
        const list = []
        for (let k = 0; k < 7; ++k)
            list.push(ledPalette.get[k]._R, ledPalette.get[k]._G, ledPalette.get[k]._B)
        return list
    }
    function lightingEntries() {
        return colourEntries().concat([bit(ledSwitch.isSelect), ledMode.getCurIndex() + 1,
                                       ledBrightness.getCurIndex(), 50 - ledSpeed.getCurIndex(),
                                       ledPalette.currentIndex])
    }

    // Senders: each builds its list and hands it to one slot of the view.
    function set_volume_speaker_mute() { view.ui_set_volume_speaker_mute([bit(speakerMute.isSelect)]) }
    function set_volume_speaker_value() { view.ui_set_volume_speaker_value(speakerValues()) }
    function set_volume_mic_mute() {
        view.ui_set_volume_mic_mute([bit(micMute.isSelect)])
        set_all_led()
    }
    function set_volume_mic_value() { view.ui_set_volume_mic_value(micValues()) }
    function set_eq_enable() { view.ui_set_eq_enable([bit(eqSwitch.isSelect)]) }
    function eqCodes() {
        return [eqPreset].concat(bandPositions().map(function (p) { return 40 - p }))
    }
    function set_eq_value() { view.ui_set_eq_value(eqCodes()) }
    function set_eq_value_p() { view.ui_set_eq_value_p(eqCodes()) }
    function saveEqValue(preset, positions) {
        view.ui_setEqValue([preset].concat(positions === undefined ? bandPositions() : positions))
    }
    function set_clarity_enable() {
        view.ui_set_clarity_enable([bit(claritySwitch.isSelect)])
        set_all_led()
    }
    function set_clarity_level() { view.ui_set_clarity_level([clarityLevel.getCurIndex() + 4]) }
    function set_clarity_level_p() { view.ui_set_clarity_level_p([clarityLevel.getCurIndex() + 4]) }
    function set_clarity_supp() { view.ui_set_clarity_supp([claritySupp.getCurIndex()]) }
    function set_clarity_supp_p() { view.ui_set_clarity_supp_p([claritySupp.getCurIndex()]) }
    function set_surround_headphone() {
        view.ui_set_surround_headphone([bit(surroundSwitch.isSelect)])
        set_all_led()
    }
    function set_enc() {
        view.ui_set_enc([bit(encSwitch.isSelect)])
        set_all_led()
    }
    function set_magic_voice_enable() {
        view.ui_set_magic_voice_enable([bit(magicSwitch.isSelect)])
        set_all_led()
    }
    function set_magic_voice_mode() { view.ui_set_magic_voice_mode([magicMode]) }
    function set_all_led() {
        view.ui_set_All_led(lightingEntries().concat([bit(claritySwitch.isSelect),
                                                      bit(surroundSwitch.isSelect),
                                                      bit(encSwitch.isSelect), bit(magicSwitch.isSelect),
                                                      bit(micMute.isSelect)]))
    }
    function setOption() {
        view.ui_setOption(lightingEntries().concat(
            [bit(claritySwitch.isSelect), clarityLevel.getCurIndex() + 4, claritySupp.getCurIndex(),
             bit(surroundSwitch.isSelect), bit(encSwitch.isSelect), bit(magicSwitch.isSelect), magicMode,
             bit(eqSwitch.isSelect), eqPreset], eqCodes().slice(1),
            [bit(speakerMute.isSelect)], speakerValues(), [bit(micMute.isSelect)], micValues()))
    }

    function badge(on, onColour) { return on ? onColour : badgeOff }
    function updateBadges() {
        main.selectColor1 = badge(claritySwitch.isSelect, main.colorPrimary)
        main.selectColor2 = badge(surroundSwitch.isSelect, main.colorPrimary)
        main.selectColor3 = badge(encSwitch.isSelect, main.colorPrimary)
        main.selectColor4 = badge(magicSwitch.isSelect, main.colorPrimary)
        main.selectColor5 = badge(eqSwitch.isSelect, main.colorPrimary)
        main.selectColor6 = badge(ledSwitch.isSelect, main.colorPrimary)
    }
    function closeEqPanel() { eqPanelOpen = false }

    // A profile's option block into the controls.
    function load() {
        const b = view.getCurrentRam(0)
        if (b.length < kOptionBytes)
            return
        for (let k = 0; k < 7; ++k) {
            ledPalette.get[k]._R = b[18 + 3 * k]
            ledPalette.get[k]._G = b[19 + 3 * k]
            ledPalette.get[k]._B = b[20 + 3 * k]
        }
        ledSwitch.isSelect = b[13] === 1
        ledMode.setCurIndex(b[14] - 1)
        ledBrightness.setCurIndex(b[15])
        ledSpeed.setCurIndex(50 - b[16])
        ledPalette.setCurIndex(b[17])
        claritySwitch.isSelect = b[0] === 1
        clarityLevel.setCurIndex(b[1] - 4)
        claritySupp.setCurIndex(b[2])
        surroundSwitch.isSelect = b[3] === 1
        // Connecting turns noise cancelling on in the driver whatever the
        // profile holds, and no report follows: the page shows it on.
        encSwitch.isSelect = true
        magicSwitch.isSelect = b[5] === 1
        magicMode = b[6]
        eqSwitch.isSelect = b[7] === 1
        eqPreset = b[8]
        if (eqPreset >= 0 && eqPreset < 12)
            setBandPositions(b.slice(kSavedEq + 10 * eqPreset, kSavedEq + 10 * eqPreset + 10))
        speakerMute.isSelect = b[171] === 1
        speakerLock.isSelect = b[172] === 0
        speakerL.setCurIndex(100 - b[174])
        speakerR.setCurIndex(100 - b[175])
        if (speakerLock.isSelect)
            view.ui_get_volume_speaker_master()
        else
            view.ui_get_volume_speaker_LR()
        micMute.isSelect = b[176] === 1
        micLock.isSelect = true
        micL.setCurIndex(100 - b[179])
        micR.setCurIndex(100 - b[180])
        view.ui_get_volume_mic_master()
        updateBadges()
    }

    // The footer's RESET: factory settings, sent area by area.
    function reset() {
        click_reset_btn = true
        for (let k = 0; k < 7; ++k) {
            ledPalette.get[k]._R = resetColours[k][0]
            ledPalette.get[k]._G = resetColours[k][1]
            ledPalette.get[k]._B = resetColours[k][2]
        }
        ledSwitch.isSelect = true
        ledMode.setCurIndex(2)
        ledBrightness.setCurIndex(9)
        ledSpeed.setCurIndex(40)
        ledPalette.setCurIndex(0)
        claritySwitch.isSelect = false
        clarityLevel.setCurIndex(3)
        claritySupp.setCurIndex(10)
        surroundSwitch.isSelect = false
        encSwitch.isSelect = true
        magicSwitch.isSelect = false
        magicMode = 0
        eqSwitch.isSelect = false
        eqPreset = 11
        setBandPositions(factoryPositions(11))
        speakerL.setCurIndex(51)
        speakerR.setCurIndex(51)
        speakerLock.isSelect = false
        set_volume_speaker_value()
        speakerMute.isSelect = false
        speakerLock.isSelect = true
        view.ui_set_volume_speaker_value_p(speakerValues())
        micMute.isSelect = false
        micL.setCurIndex(15)
        micR.setCurIndex(15)
        micLock.isSelect = true

        set_volume_speaker_mute()
        set_volume_speaker_value()
        set_volume_mic_mute()
        set_volume_mic_value()
        set_eq_enable()
        set_eq_value()
        set_clarity_enable()
        set_clarity_level()
        set_clarity_supp()
        set_surround_headphone()
        set_enc()
        set_magic_voice_enable()
        set_magic_voice_mode()
        set_all_led()
        for (let preset = 0; preset < 12; ++preset)
            saveEqValue(preset, factoryPositions(preset))
        updateBadges()
        click_reset_btn = false
    }

    // A headset button turns its feature over and tells the device.
    function onButtonReport(mode) {
        if (mode === 0x10) {
            encSwitch.isSelect = !encSwitch.isSelect
            set_enc()
            main.selectColor3 = badge(encSwitch.isSelect, badgeButtonOn)
        } else if (mode === 0x04) {
            surroundSwitch.isSelect = !surroundSwitch.isSelect
            set_surround_headphone()
            main.selectColor2 = badge(surroundSwitch.isSelect, badgeButtonOn)
        } else if (mode === 0x08) {
            micMute.isSelect = !micMute.isSelect
            set_volume_mic_mute()
        }
    }
    // True, and the flag cleared, when the report is the echo of a user's change.
    function echo(flag) {
        if (!page[flag])
            return false
        page[flag] = false
        return true
    }

    Connections {
        target: main
        function onMsg_LoadCurrentProfile() { page.load() }
        function onMsg_HidRead(mode) { page.onButtonReport(mode) }
        function onMsg_DriverRead_SpVolMute(v) {
            if (page.echo("click_speaker_sd"))
                return
            speakerMute.isSelect = v === 1
            view.ui_set_volume_speaker_mute_p([v])
        }
        function onMsg_DriverRead_SpVolValue(v) {
            if (page.echo("click_speaker_sd") || !speakerLock.isSelect)
                return
            speakerL.setCurIndex(100 - v)
            speakerR.setCurIndex(100 - v)
            view.ui_set_volume_speaker_value_p(page.speakerValues())
        }
        function onMsg_DriverRead_SpVolValue_LR(l, r) {
            if (page.echo("click_speaker_sd") || speakerLock.isSelect)
                return
            speakerL.setCurIndex(100 - l)
            speakerR.setCurIndex(100 - r)
            view.ui_set_volume_speaker_value_p(page.speakerValues())
        }
        function onMsg_DriverRead_MicVolMute(v) {
            if (page.echo("click_mic_sd"))
                return
            micMute.isSelect = v === 1
            view.ui_set_volume_mic_mute_p([v])
            page.set_all_led()
        }
        function onMsg_DriverRead_MicVolValue(v) {
            if (page.echo("click_mic_sd"))
                return
            micL.setCurIndex(100 - v)
            micR.setCurIndex(100 - v)
            view.ui_set_volume_mic_value_p(page.micValues())
        }
        function onMsg_DriverRead_SurEnable(v) {
            if (page.echo("click_surround"))
                return
            surroundSwitch.isSelect = v === 1
            page.set_surround_headphone()
            page.updateBadges()
        }
        function onMsg_DriverRead_EncEnable(v) {
            if (page.echo("click_enc"))
                return
            encSwitch.isSelect = v === 1
            page.set_enc()
            page.updateBadges()
        }
        function onMsg_DriverRead_Vc(on, level, supp) {
            if (page.echo("click_voiceClarity"))
                return
            claritySwitch.isSelect = on === 1
            page.set_clarity_enable()
            clarityLevel.setCurIndex((level >= 4 && level <= 10 ? level : 4) - 4)
            page.set_clarity_level_p()
            claritySupp.setCurIndex(supp)
            page.set_clarity_supp_p()
            page.updateBadges()
        }
        function onMsg_DriverRead_Mgi(on, mode) {
            if (page.echo("click_voiceMagic"))
                return
            magicSwitch.isSelect = on === 1
            page.magicMode = mode
            page.set_magic_voice_enable()
            page.set_magic_voice_mode()
            page.updateBadges()
        }
        function onMsg_DriverRead_EqEnable(v) {
            if (page.echo("click_eq_sd"))
                return
            eqSwitch.isSelect = v === 1
            page.set_eq_enable()
            page.updateBadges()
        }
        function onMsg_DriverRead_EqValue(g1, g2, g3, g4, g5, g6, g7, g8, g9, g10) {
            if (page.echo("click_eq_sd"))
                return
            page.setBandPositions([g1, g2, g3, g4, g5, g6, g7, g8, g9, g10].map(function (g) { return 20 - g }))
            page.set_eq_value_p()
        }
        function onMsg_Vender(mode, color, bright, speed) {
            ledMode.setCurIndex(mode)
            ledPalette.setCurIndex(color)
            ledBrightness.setCurIndex(bright)
            ledSpeed.setCurIndex(speed)
        }
        function onMsg_Translate() {
            for (let k = 0; k < 5; ++k)
                ledModes.setProperty(k, "textX", main.uiStrings[28 + k])
        }
        function onScroll(numSteps) {
            if (main.scroll_flg !== 0)
                return
            const step = Math.round(settings.contentHeight / 8)
            const bottom = Math.max(0, settings.contentHeight - settings.height)
            settings.contentY = Math.max(0, Math.min(bottom, settings.contentY - numSteps * step))
        }
    }

    // A lighting control under its heading; both are inert, and dimmed,
    // while the lighting mode leaves the control out.
    component LightingGroup: Column {
        property bool acts: true
        property alias label: heading.text
        spacing: 20
        enabled: acts
        opacity: acts ? 1.0 : main.inertOpacity
        Text {
            id: heading
            font.family: main.fontFamily
            font.pixelSize: main.fontSize
            color: main.fontColor0
        }
    }

    // The channel letter under a volume slider.
    component SliderLabel: Text {
        width: 60
        horizontalAlignment: Text.AlignHCenter
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: main.fontColor0
    }

    ListModel {
        id: ledModes
        ListElement { textX: "Mode 1" }
        ListElement { textX: "Mode 2" }
        ListElement { textX: "Mode 3" }
        ListElement { textX: "Mode 4" }
        ListElement { textX: "Mode 5" }
    }

    Model {
        id: headset
        objectName: "model"
        onClicked: function (index, keyCode, keyCodeDefault, name) {
            page.mouseKeyClicked(index, keyCode, keyCodeDefault, name)
        }
    }

    Flickable {
        id: settings
        objectName: "device_settings"
        x: 1400
        width: 1940
        // The view ends under the last area it holds whole, so no area is
        // cut where the page opens.
        height: {
            let bottom = 0
            for (let i = 0; i < sections.children.length; ++i) {
                const area = sections.children[i]
                if (area.y + area.height > page.height)
                    break
                bottom = area.y + area.height
            }
            return bottom > 0 ? bottom : page.height
        }
        interactive: false
        clip: true
        contentWidth: width
        contentHeight: sections.height + 500

        MouseArea {
            objectName: "device_settingsHover"
            width: settings.width
            height: settings.contentHeight
            hoverEnabled: true
            acceptedButtons: Qt.NoButton
            onEntered: main.scroll_flg = 0
            onExited: main.scroll_flg = -1
        }

        Column {
            id: sections
            width: settings.width

            DeviceSection {
                title: main.uiStrings[111]
                Text {
                    y: 80
                    text: main.uiStrings[113]
                    font.family: main.fontFamily
                    font.pixelSize: main.fontSize
                    color: main.fontColor0
                }
                Row {
                    x: 40
                    y: 140
                    spacing: 60
                    Slider_vertical {
                        id: speakerL
                        objectName: "device_speakerL"
                        height: 360
                        maxIndex: 100
                        onSliderClicked: {
                            page.speakerSide = 0
                            if (speakerLock.isSelect)
                                speakerR.setCurIndex(speakerL.getCurIndex())
                            page.click_speaker_sd = true
                            page.set_volume_speaker_value()
                        }
                    }
                    Slider_vertical {
                        id: speakerR
                        objectName: "device_speakerR"
                        height: 360
                        maxIndex: 100
                        onSliderClicked: {
                            page.speakerSide = 1
                            if (speakerLock.isSelect)
                                speakerL.setCurIndex(speakerR.getCurIndex())
                            page.click_speaker_sd = true
                            page.set_volume_speaker_value()
                        }
                    }
                    Column {
                        spacing: 30
                        Button_2s {
                            id: speakerMute
                            objectName: "device_speakerMute"
                            source0: "file:img/device/speaker_0.png"
                            source1: "file:img/device/speaker_1.png"
                            onClicked: {
                                page.click_speaker_sd = true
                                page.set_volume_speaker_mute()
                            }
                        }
                        Button_2s {
                            id: speakerLock
                            objectName: "device_speakerLock"
                            source0: "file:img/device/lock_0.png"
                            source1: "file:img/device/lock_1.png"
                            isSelect: true
                            onClicked: function (isSelect) {
                                if (isSelect)
                                    view.ui_get_volume_speaker_master()
                                else
                                    view.ui_get_volume_speaker_LR()
                            }
                        }
                    }
                }
                Row {
                    x: 40
                    y: 510
                    spacing: 60
                    SliderLabel { text: main.uiStrings[115] }
                    SliderLabel { text: main.uiStrings[116] }
                }
                Row {
                    x: 940
                    y: 510
                    spacing: 60
                    SliderLabel { text: main.uiStrings[115] }
                    SliderLabel {
                        visible: false
                        text: main.uiStrings[116]
                    }
                }
                Text {
                    x: 900
                    y: 80
                    text: main.uiStrings[114]
                    font.family: main.fontFamily
                    font.pixelSize: main.fontSize
                    color: main.fontColor0
                }
                Row {
                    x: 940
                    y: 140
                    spacing: 60
                    Slider_vertical {
                        id: micL
                        objectName: "device_micL"
                        height: 360
                        maxIndex: 100
                        onSliderClicked: {
                            page.micSide = 0
                            if (micLock.isSelect)
                                micR.setCurIndex(micL.getCurIndex())
                            page.click_mic_sd = true
                            page.set_volume_mic_value()
                        }
                    }
                    // The microphone has one channel to the user: its right
                    // slider and lock exist only to carry the values along.
                    Slider_vertical {
                        id: micR
                        objectName: "device_micR"
                        visible: false
                        enabled: false
                        height: 360
                        maxIndex: 100
                    }
                    Column {
                        spacing: 30
                        Button_2s {
                            id: micMute
                            objectName: "device_micMute"
                            source0: "file:img/device/mic_0.png"
                            source1: "file:img/device/mic_1.png"
                            onClicked: {
                                page.click_mic_sd = true
                                page.set_volume_mic_mute()
                            }
                        }
                        Button_2s {
                            id: micLock
                            objectName: "device_micLock"
                            source0: "file:img/device/lock_0.png"
                            source1: "file:img/device/lock_1.png"
                            isSelect: true
                            visible: false
                            enabled: false
                        }
                    }
                }
            }

            DeviceSection {
                title: main.uiStrings[112]
                switchItem: Button_2s {
                    id: eqSwitch
                    objectName: "device_eqSwitch"
                    onClicked: {
                        page.click_eq_sd = true
                        page.set_eq_enable()
                        page.updateBadges()
                    }
                }
                Grid {
                    y: 100
                    columns: 6
                    spacing: 20
                    enabled: eqSwitch.isSelect
                    opacity: eqSwitch.isSelect ? 1.0 : main.inertOpacity
                    Repeater {
                        model: 12
                        Button {
                            objectName: "device_eqPreset" + index
                            width: 290
                            isSelect: index === page.eqPreset
                            text.text: page.eqPresetNames[index]
                            onClicked: {
                                page.eqPreset = index
                                page.eqPanelOpen = true
                                const b = view.getCurrentRam(0)
                                if (b.length >= page.kOptionBytes)
                                    page.setBandPositions(b.slice(page.kSavedEq + 10 * index,
                                                                  page.kSavedEq + 10 * index + 10))
                                page.set_eq_value()
                            }
                        }
                    }
                }
            }

            DeviceSection {
                title: main.uiStrings[106]
                switchItem: Button_2s {
                    id: claritySwitch
                    objectName: "device_claritySwitch"
                    onClicked: {
                        page.click_voiceClarity = true
                        page.set_clarity_enable()
                        page.updateBadges()
                    }
                }
                Column {
                    y: 90
                    spacing: 20
                    enabled: claritySwitch.isSelect
                    opacity: claritySwitch.isSelect ? 1.0 : main.inertOpacity
                    Text {
                        text: main.uiStrings[105] + "  " + (clarityLevel.getCurIndex() + 4)
                        font.family: main.fontFamily
                        font.pixelSize: main.fontSize
                        color: main.fontColor0
                    }
                    Slider {
                        id: clarityLevel
                        objectName: "device_clarityLevel"
                        maxIndex: 6
                        onSliderClicked: {
                            page.click_voiceClarity = true
                            page.set_clarity_level()
                        }
                    }
                    Text {
                        text: main.uiStrings[110] + "  " + ("0" + claritySupp.getCurIndex()).slice(-2)
                        font.family: main.fontFamily
                        font.pixelSize: main.fontSize
                        color: main.fontColor0
                    }
                    Slider {
                        id: claritySupp
                        objectName: "device_claritySupp"
                        maxIndex: 20
                        onSliderClicked: {
                            page.click_voiceClarity = true
                            page.set_clarity_supp()
                        }
                    }
                }
            }

            DeviceSection {
                title: main.uiStrings[107]
                switchItem: Button_2s {
                    id: surroundSwitch
                    objectName: "device_surroundSwitch"
                    onClicked: {
                        page.click_surround = true
                        page.set_surround_headphone()
                        page.updateBadges()
                    }
                }
            }

            DeviceSection {
                title: main.uiStrings[108]
                switchItem: Button_2s {
                    id: encSwitch
                    objectName: "device_encSwitch"
                    isSelect: true
                    onClicked: {
                        page.click_enc = true
                        page.set_enc()
                        page.updateBadges()
                    }
                }
            }

            DeviceSection {
                title: main.uiStrings[109]
                switchItem: Button_2s {
                    id: magicSwitch
                    objectName: "device_magicSwitch"
                    onClicked: {
                        page.click_voiceMagic = true
                        page.set_magic_voice_enable()
                        page.updateBadges()
                    }
                }
                Row {
                    y: 100
                    spacing: 20
                    enabled: magicSwitch.isSelect
                    opacity: magicSwitch.isSelect ? 1.0 : main.inertOpacity
                    Repeater {
                        model: 4
                        Button {
                            objectName: "device_magicMode" + index
                            isSelect: index === page.magicMode
                            text.text: index + 1
                            onClicked: {
                                page.click_voiceMagic = true
                                page.magicMode = index
                                page.set_magic_voice_mode()
                            }
                        }
                    }
                }
            }

            DeviceSection {
                title: main.uiStrings[14]
                switchItem: Button_2s {
                    id: ledSwitch
                    objectName: "device_ledSwitch"
                    isSelect: true
                    onClicked: {
                        page.set_all_led()
                        page.updateBadges()
                    }
                }
                Column {
                    id: lighting
                    // Which of the sub-controls a mode uses: 1 brightness and
                    // colour, 2 all three, 3 and 4 speed, 5 none. A control
                    // the mode leaves out, or lighting OFF, is drawn dimmed.
                    readonly property int mode: ledSwitch.isSelect ? ledMode.currentIndex + 1 : 0
                    y: 90
                    spacing: 20
                    LightingGroup {
                        // Its list opens over the groups below it.
                        z: 5
                        acts: ledSwitch.isSelect
                        label: main.uiStrings[15]
                        DropdownList {
                            id: ledMode
                            objectName: "device_ledMode"
                            z: 5
                            mdItems: ledModes
                            onListElementClicked: page.set_all_led()
                        }
                    }
                    LightingGroup {
                        acts: lighting.mode === 1 || lighting.mode === 2
                        label: main.uiStrings[16] + "  " + ledBrightness.getCurIndex()
                        Slider {
                            id: ledBrightness
                            objectName: "device_ledBrightness"
                            maxIndex: 9
                            onSliderClicked: page.set_all_led()
                        }
                    }
                    LightingGroup {
                        acts: lighting.mode >= 2 && lighting.mode <= 4
                        label: main.uiStrings[17] + "  " + (ledSpeed.getCurIndex() + 10)
                        Slider {
                            id: ledSpeed
                            objectName: "device_ledSpeed"
                            maxIndex: 40
                            onSliderClicked: page.set_all_led()
                        }
                    }
                    LightingGroup {
                        acts: lighting.mode === 1 || lighting.mode === 2
                        label: main.uiStrings[18]
                        Palette_7 {
                            id: ledPalette
                            objectName: "device_ledPalette"
                            onClicked: page.set_all_led()
                        }
                    }
                }
            }
        }
    }

    // The EQ panel: the selected preset's ten bands.
    Image {
        id: eqPanel
        objectName: "device_eqPanel"
        x: 1400
        y: 100
        width: 1600
        height: 800
        visible: page.eqPanelOpen
        source: "file:img/device/eq_panel.png"
        Row {
            x: 100
            y: 80
            spacing: 80
            Repeater {
                id: eqBands
                model: 10
                Slider_vertical {
                    objectName: "device_eqBand" + index
                    height: 500
                    maxIndex: 40
                    onSliderClicked: {
                        page.click_eq_sd = true
                        page.set_eq_value()
                        page.saveEqValue(page.eqPreset)
                    }
                }
            }
        }
        PushButton {
            objectName: "device_eqReset"
            x: 900
            y: 680
            text.text: main.uiStrings[8]
            onClicked: {
                page.setBandPositions(page.factoryPositions(page.eqPreset))
                page.set_eq_value()
                page.saveEqValue(page.eqPreset)
            }
        }
        PushButton {
            objectName: "device_eqApply"
            x: 1200
            y: 680
            visible: false
            enabled: false
            text.text: main.uiStrings[9]
        }
    }
}
