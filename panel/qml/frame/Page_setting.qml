import QtQuick 2.15
import "qrc:/qml/common"

// The panel's own preferences: language, text size, text colour and its
// lighting. Every change shows at once; APPLY keeps it in the configuration.
Item {
    id: page
    objectName: "page_setting"
    // Entries of the configuration list this page owns.
    readonly property int kLanguage: 1
    readonly property int kSize: 2
    readonly property int kPalette: 3
    readonly property int kPaletteIndex: 33
    readonly property int kLighting: 34
    property bool loaded: false
    property int langIndex: 0
    property int sizeChoice: 0
    signal closeClicked

    width: 1200
    height: 1100

    ListModel {
        id: languages
        ListElement { textX: "ENGLISH"; code: 31000; name: "English" }
        ListElement { textX: "简体中文"; code: 25044; name: "ChineseSimplified" }
        ListElement { textX: "繁體中文"; code: 25208; name: "ChineseTraditional" }
    }

    Connections {
        target: main
        function onMsg_INIT() {
            if (page.loaded)
                return
            page.loaded = true
            page.load()
            main.msg_Translate()
        }
    }

    function languageIndex(field, value) {
        for (let i = 0; i < languages.count; ++i)
            if (languages.get(i)[field] == value)
                return i
        return -1
    }
    function load() {
        const cfg = view.loadApConfig()
        if (cfg.length > kLanguage && languageIndex("code", cfg[kLanguage]) >= 0)
            langIndex = languageIndex("code", cfg[kLanguage])
        if (cfg.length > kSize)
            sizeChoice = cfg[kSize] == 1 ? 1 : 0
        for (let k = 0; k < palette.count; ++k) {
            const at = kPalette + 3 * k
            if (cfg.length > at + 2) {
                palette.get[k]._R = cfg[at]
                palette.get[k]._G = cfg[at + 1]
                palette.get[k]._B = cfg[at + 2]
            }
        }
        palette.setCurIndex(cfg.length > kPaletteIndex ? cfg[kPaletteIndex] : 0)
        lighting.setCurIndex(cfg.length > kLighting ? cfg[kLighting] : lighting.maxIndex)
        const named = languageIndex("name", view.loadApConfig_lang())
        if (named >= 0)
            langIndex = named
        view.saveApConfig(withChoices(cfg))
        applyChoices()
    }
    // `base` with this page's entries replaced; entries it does not own
    // are carried through, and a short list is padded.
    function withChoices(base) {
        const list = base.slice()
        while (list.length <= kLighting)
            list.push(0)
        list[kLanguage] = languages.get(langIndex).code
        list[kSize] = sizeChoice
        for (let k = 0; k < palette.count; ++k) {
            list[kPalette + 3 * k] = palette.get[k]._R
            list[kPalette + 3 * k + 1] = palette.get[k]._G
            list[kPalette + 3 * k + 2] = palette.get[k]._B
        }
        list[kPaletteIndex] = palette.currentIndex
        list[kLighting] = lighting.getCurIndex()
        return list
    }
    // A language file that lacks a string, or the font, keeps the built-in
    // one, so a missing or short file never blanks the interface.
    function applyChoices() {
        main.langCode = languages.get(langIndex).code
        const loadedStrings = view.loadUiStrings(main.langCode)
        const strings = main.builtInStrings.slice()
        for (let i = 1; i < loadedStrings.length && i < strings.length; ++i)
            strings[i] = loadedStrings[i]
        if (loadedStrings.length > 0 && loadedStrings[0] !== "")
            strings[0] = loadedStrings[0]
        main.uiStrings = strings
        main.fontFamily = strings[0]
        main.fontSize = 34 + 4 * sizeChoice
        const alpha = (155 + 10 * lighting.getCurIndex()) / 255
        main.fontColor0 = Qt.rgba(0x8A / 255, 0x8A / 255, 0x8A / 255, alpha)
        const c = palette.get[palette.currentIndex]
        main.fontColor1 = Qt.rgba(c._R / 255, c._G / 255, c._B / 255, alpha)
    }
    function reset() {
        view.resetApconfig()
        load()
        main.msg_Translate()
    }
    function apply() {
        view.saveApConfig(withChoices(view.loadApConfig()))
        main.closeSettings()
    }

    Image {
        anchors.fill: parent
        source: "file:img/frame/setting_panel.png"
    }
    PushButton {
        objectName: "setting_close"
        x: parent.width - 90
        width: 90
        height: 90
        source0: "file:img/frame/close_0.png"
        source1: "file:img/frame/close_1.png"
        source2: "file:img/frame/close_1.png"
        onClicked: page.closeClicked()
    }
    Column {
        x: 60
        y: 60
        spacing: 30
        Text {
            text: main.uiStrings[1]
            font.family: main.fontFamily
            font.pixelSize: main.fontSize
            color: main.fontColor0
        }
        Item {
            width: 500
            height: 70
            // The language changes only through the configuration file.
            DropdownList {
                objectName: "setting_language"
                visible: false
                enabled: false
                mdItems: languages
                defaultIndex: page.langIndex
            }
            Text {
                text: "ENGLISH"
                font.family: main.fontFamily
                font.pixelSize: main.fontSize
                color: main.fontColor1
            }
        }
        Text {
            text: main.uiStrings[2] + " " + main.uiStrings[3]
            font.family: main.fontFamily
            font.pixelSize: main.fontSize
            color: main.fontColor0
        }
        Row {
            spacing: 60
            Checkbox {
                objectName: "setting_normal"
                chkStr: main.uiStrings[6]
                isSelect: page.sizeChoice === 0
                onClicked: {
                    page.sizeChoice = 0
                    isSelect = Qt.binding(function () { return page.sizeChoice === 0 })
                    page.applyChoices()
                }
            }
            Checkbox {
                objectName: "setting_larger"
                chkStr: main.uiStrings[7]
                isSelect: page.sizeChoice === 1
                onClicked: {
                    page.sizeChoice = 1
                    isSelect = Qt.binding(function () { return page.sizeChoice === 1 })
                    page.applyChoices()
                }
            }
        }
        Text {
            text: main.uiStrings[4]
            font.family: main.fontFamily
            font.pixelSize: main.fontSize
            color: main.fontColor0
        }
        Palette_10 {
            id: palette
            objectName: "setting_palette"
            onClicked: page.applyChoices()
        }
        Text {
            text: main.uiStrings[5]
            font.family: main.fontFamily
            font.pixelSize: main.fontSize
            color: main.fontColor0
        }
        Slider {
            id: lighting
            objectName: "setting_lighting"
            maxIndex: 10
            onSliderClicked: page.applyChoices()
        }
    }
    PushButton {
        objectName: "setting_reset"
        x: 300
        y: parent.height - 130
        text.text: main.uiStrings[8]
        onClicked: page.reset()
    }
    PushButton {
        objectName: "setting_apply"
        x: 660
        y: parent.height - 130
        text.text: main.uiStrings[9]
        onClicked: page.apply()
    }
}
