import QtQuick 2.15
import "qrc:/qml/common"

// Edits the 32-bit code of one key (byte 0 the kind, most significant first)
// and binds macros to the headset's 35 macro slots.
Item {
    id: page
    objectName: "page_keyDefine"

    property int currentMatrix: -1
    property string titleKeyName: ""
    property int currentKeycode: 0
    property int defaultKeycode: 0
    // The code the key held when the page opened: its macro binding is what
    // APPLY releases, whatever DEFAULT showed meanwhile.
    property int boundKeycode: 0

    // What the user has chosen on the page.
    readonly property int tabMouse: 0
    readonly property int tabKeyboard: 1
    readonly property int tabMedia: 2
    readonly property int tabMacro: 3
    property int tab: tabMouse
    property bool disabled: false
    property int mouseMenu: 0
    property int mouseRow: -1
    property int fireChoice: 0 // 1 SHOOT, 2 REPEAT WHEN PRESS
    property int shootCount: 1
    property bool combo: false
    property int key1: 0
    property int key2: 0
    property bool capturing: false
    property int mediaRow: -1
    property int macroRow: -1

    readonly property int kMacroSlots: 35
    // [uiStrings index, code]: STANDARD KEY rows, then DPI & SCROLL rows.
    readonly property var mouseRows: [
        [55, 0x0200F000], [56, 0x0200F100], [57, 0x0200F200], [58, 0x0200F300], [59, 0x0200F400],
        [60, 0x08000100], [61, 0x08000200], [62, 0x08000300], [63, 0x05010200], [64, 0x05020200]]
    readonly property var mediaRows: [
        [65, 0x0400b500], [66, 0x0400b600], [67, 0x0400b700], [68, 0x0400cd00], [69, 0x0400e200],
        [70, 0x0400e900], [71, 0x0400ea00], [72, 0x04008302], [73, 0x04008a02], [74, 0x04009202],
        [75, 0x04009402], [76, 0x04002102], [77, 0x04002302], [78, 0x04002402], [79, 0x04002502],
        [80, 0x04002602], [81, 0x04002702], [82, 0x04002a02]]

    signal closeClicked
    signal resetClicked
    signal cancelClicked
    signal saveClicked(int matrixId, int keycode)

    width: 1800
    height: 1300

    ListModel { id: macros } // name, slot

    // Check boxes for mouseRows[firstRow .. lastRow - 1].
    component MouseRowGrid: Grid {
        id: grid
        property int firstRow: 0
        property int lastRow: 0
        columns: 3
        spacing: 10
        Repeater {
            model: grid.lastRow - grid.firstRow
            Checkbox {
                readonly property int row: grid.firstRow + index
                objectName: "keyDefine_mouseRow" + row
                chkStr: main.uiStrings[page.mouseRows[row][0]]
                isSelect: page.mouseRow === row && page.fireChoice === 0
                onClicked: {
                    page.mouseRow = row
                    page.fireChoice = 0
                    isSelect = Qt.binding(function () { return page.mouseRow === row && page.fireChoice === 0 })
                }
            }
        }
    }

    KeyCodeString { id: keyNames }

    onVisibleChanged: if (visible) reloadMacros()

    Connections {
        target: main
        function onEmptyAreaPressed() { page.capturing = false }
    }

    function byteOf(code, n) { return (code >>> (24 - 8 * n)) & 0xFF }
    function rowOf(rows, code) {
        for (let i = 0; i < rows.length; ++i)
            if (rows[i][1] === code)
                return i
        return -1
    }
    function macroRowOfSlot(slot) {
        for (let i = 0; i < macros.count; ++i)
            if (macros.get(i).slot === slot)
                return i
        return -1
    }

    function reloadMacros() {
        macros.clear()
        const found = view.getMacroIniNames()
        if (found.length < 2)
            return
        for (let i = 0; i < found[0].length; ++i)
            macros.append({ name: found[0][i].slice(0, -4), slot: i < found[1].length ? found[1][i] : -1 })
    }

    // Opens the page on a key. The left button asks first, as losing it
    // leaves the user without a primary click. False when the user declines.
    function open(index, keyCode, keyCodeDefault, name) {
        if (keyCode === 0x0200F000) {
            const msg = view.loadUiStrings(main.langCode, "msg", 0, 2)
            if (!view.getMsgAns(msg.length > 0 ? msg[0] : "", msg.length > 1 ? msg[1] : ""))
                return false
        }
        currentMatrix = index
        currentKeycode = keyCode
        boundKeycode = keyCode
        defaultKeycode = keyCodeDefault
        titleKeyName = name
        reloadMacros()
        refresh(keyCode)
        return true
    }

    function clearChoices() {
        disabled = false
        mouseRow = -1
        fireChoice = 0
        shootCount = 1
        combo = false
        key1 = 0
        key2 = 0
        capturing = false
        mediaRow = -1
        macroRow = -1
    }
    function refresh(code) {
        clearChoices()
        const kind = byteOf(code, 0)
        if (code === 0) {
            disabled = true
        } else if (kind === 0x02 || kind === 0x05 || kind === 0x08) {
            tab = tabMouse
            mouseMenu = kind === 0x02 ? 0 : 1
            mouseRow = rowOf(mouseRows, code)
        } else if (kind === 0x0C) {
            tab = tabMouse
            mouseMenu = 2
            fireChoice = byteOf(code, 1) === 1 ? 1 : byteOf(code, 1) === 2 ? 2 : 0
            if (fireChoice === 1)
                shootCount = byteOf(code, 2)
        } else if (kind === 0x01) {
            tab = tabKeyboard
            key1 = byteOf(code, 2)
            key2 = byteOf(code, 3)
            combo = !(byteOf(code, 1) === 0 && key2 === 0)
        } else if (kind === 0x04) {
            tab = tabMedia
            mediaRow = rowOf(mediaRows, code)
        } else if (kind === 0x0A) {
            tab = tabMacro
            macroRow = macroRowOfSlot(byteOf(code, 2))
        }
    }

    function setDefault() {
        currentKeycode = defaultKeycode
        refresh(currentKeycode)
        resetClicked()
    }
    function cancel() {
        refresh(currentKeycode)
        cancelClicked()
    }

    // Whether the page holds a choice APPLY can turn into a code.
    function hasChoice() {
        if (disabled)
            return true
        if (tab === tabMouse)
            return fireChoice !== 0 || mouseRow >= 0
        if (tab === tabKeyboard)
            return key1 !== 0
        if (tab === tabMedia)
            return mediaRow >= 0
        return macroRow >= 0
    }
    // The macro file a code is bound to, by its slot; -1 for none.
    function boundMacroRow(code) {
        return byteOf(code, 0) === 0x0A ? macroRowOfSlot(byteOf(code, 2)) : -1
    }
    function releaseMacro(code) {
        const row = boundMacroRow(code)
        if (row < 0)
            return
        const name = macros.get(row).name
        const cfg = view.loadMacroIniConfig(name)
        if (cfg.length < 3)
            return
        if (cfg[2] <= 1) {
            view.setMacroIniConfig(name, [-1, cfg[1], 0])
            macros.setProperty(row, "slot", -1)
        } else {
            view.setMacroIniConfig(name, [cfg[0], cfg[1], cfg[2] - 1])
        }
    }
    // Counts the key as a user of its macro again after a release that did
    // not free the slot (the macro has other users).
    function retainMacro(code) {
        const row = boundMacroRow(code)
        if (row < 0)
            return
        const name = macros.get(row).name
        const cfg = view.loadMacroIniConfig(name)
        if (cfg.length >= 3)
            view.setMacroIniConfig(name, [cfg[0], cfg[1], cfg[2] + 1])
    }
    function freeSlot() {
        for (let slot = 0; slot < kMacroSlots; ++slot)
            if (macroRowOfSlot(slot) < 0)
                return slot
        return -1
    }
    // Binds the chosen macro to a slot and uploads it; the code, `code`
    // unchanged without the file's configuration, or -1 when no slot is free.
    function bindMacro(code) {
        const name = macros.get(macroRow).name
        const cfg = view.loadMacroIniConfig(name)
        if (cfg.length < 3)
            return code
        let slot = cfg[0]
        if (slot < 0 || slot >= kMacroSlots) {
            slot = freeSlot()
            if (slot < 0)
                return -1
            view.setMacroIniConfig(name, [slot, cfg[1], 1])
        } else {
            view.setMacroIniConfig(name, [slot, cfg[1], cfg[2] + 1])
        }
        macros.setProperty(macroRow, "slot", slot)
        view.ui_setMacroKey(slot, name, cfg[1])
        return 0x0A010000 | (slot << 8)
    }
    function chosenCode(code) {
        if (disabled)
            return 0
        if (tab === tabMouse) {
            if (fireChoice === 1)
                return 0x0C010000 | ((shootCount << 8) & 0xFF00)
            if (fireChoice === 2)
                return 0x0C020000
            return mouseRows[mouseRow][1]
        }
        if (tab === tabKeyboard)
            return 0x01000000 | (key1 << 8) | (combo ? key2 : 0)
        if (tab === tabMedia)
            return mediaRows[mediaRow][1]
        return bindMacro(code)
    }
    // With nothing chosen, or no slot for the chosen macro, the key keeps
    // its code and its macro binding: a macro that lost a user it still has
    // would be freed while the key plays it, and its slot given to another.
    function apply() {
        if (hasChoice()) {
            releaseMacro(boundKeycode)
            const code = chosenCode(currentKeycode)
            if (code < 0) {
                retainMacro(boundKeycode)
            } else {
                currentKeycode = code
                boundKeycode = code
            }
        }
        saveClicked(currentMatrix, currentKeycode)
        closeClicked()
    }

    function captureKey(usage) {
        if (!capturing || usage === 0)
            return
        if (combo && key1 !== 0 && key2 === 0) {
            key2 = usage
            capturing = false
        } else {
            key1 = usage
            key2 = 0
            capturing = combo
        }
    }
    focus: capturing
    Keys.onPressed: function (event) {
        if (!capturing)
            return
        captureKey(keyNames.usageOfQtKey(event.key))
        event.accepted = true
    }

    Image {
        anchors.fill: parent
        source: "file:img/frame/key_panel.png"
        MouseArea {
            objectName: "keyDefine_background"
            anchors.fill: parent
            onPressed: page.capturing = false
        }
    }
    Text {
        x: 60
        y: 40
        text: main.uiStrings[36] + " (" + page.titleKeyName + ")"
        font.family: main.fontFamily
        font.pixelSize: main.fontSize + 6
        color: main.fontColor1
    }
    PushButton {
        objectName: "keyDefine_close"
        x: parent.width - 110
        y: 20
        width: 90
        height: 90
        source0: "file:img/frame/close_0.png"
        source1: "file:img/frame/close_1.png"
        source2: "file:img/frame/close_1.png"
        onClicked: page.closeClicked()
    }
    Row {
        x: 60
        y: 140
        spacing: 20
        Repeater {
            // MOUSE, KEYBOARD, the media and application keys (HOT KEY), MACRO
            model: [37, 38, 39, 40]
            Button {
                objectName: "keyDefine_tab" + index
                width: 300
                isSelect: page.tab === index && !page.disabled
                text.text: main.uiStrings[modelData]
                onClicked: page.tab = index
            }
        }
        Checkbox {
            objectName: "keyDefine_disable"
            anchors.verticalCenter: parent.verticalCenter
            chkStr: main.uiStrings[51]
            isSelect: page.disabled
            onClicked: {
                page.disabled = isSelect
                isSelect = Qt.binding(function () { return page.disabled })
            }
        }
    }

    Item {
        id: tabs
        x: 60
        y: 260
        width: parent.width - 120
        height: 850
        enabled: !page.disabled
        opacity: enabled ? 1.0 : 0.4

        Column {
            visible: page.tab === page.tabMouse
            spacing: 10
            ToggleMenu {
                objectName: "keyDefine_standardMenu"
                index: 0
                parentIndex: page.mouseMenu
                textX: main.uiStrings[41]
                onClicked: function (_index) { page.mouseMenu = _index }
                MouseRowGrid { firstRow: 0; lastRow: 5 }
            }
            ToggleMenu {
                objectName: "keyDefine_dpiMenu"
                index: 1
                parentIndex: page.mouseMenu
                textX: main.uiStrings[42]
                onClicked: function (_index) { page.mouseMenu = _index }
                MouseRowGrid { firstRow: 5; lastRow: 10 }
            }
            ToggleMenu {
                objectName: "keyDefine_fireMenu"
                index: 2
                parentIndex: page.mouseMenu
                textX: main.uiStrings[43]
                onClicked: function (_index) { page.mouseMenu = _index }
                Row {
                    spacing: 40
                    Checkbox {
                        objectName: "keyDefine_shoot"
                        chkStr: main.uiStrings[44]
                        isSelect: page.fireChoice === 1
                        onClicked: {
                            page.fireChoice = 1
                            isSelect = Qt.binding(function () { return page.fireChoice === 1 })
                        }
                    }
                    TextInput {
                        objectName: "keyDefine_shootCount"
                        width: 100
                        text: page.shootCount
                        font.family: main.fontFamily
                        font.pixelSize: main.fontSize
                        color: main.fontColor1
                        validator: IntValidator { bottom: 1; top: 255 }
                        onEditingFinished: page.shootCount = parseInt(text) || 1
                    }
                    Text {
                        text: main.uiStrings[45]
                        font.family: main.fontFamily
                        font.pixelSize: main.fontSize
                        color: main.fontColor0
                    }
                    Checkbox {
                        objectName: "keyDefine_repeat"
                        chkStr: main.uiStrings[46]
                        isSelect: page.fireChoice === 2
                        onClicked: {
                            page.fireChoice = 2
                            isSelect = Qt.binding(function () { return page.fireChoice === 2 })
                        }
                    }
                }
            }
        }

        Column {
            visible: page.tab === page.tabKeyboard
            spacing: 30
            Row {
                spacing: 60
                Checkbox {
                    objectName: "keyDefine_single"
                    chkStr: main.uiStrings[49]
                    isSelect: !page.combo
                    onClicked: {
                        page.combo = false
                        isSelect = Qt.binding(function () { return !page.combo })
                    }
                }
                Checkbox {
                    objectName: "keyDefine_combo"
                    chkStr: main.uiStrings[50]
                    isSelect: page.combo
                    onClicked: {
                        page.combo = true
                        isSelect = Qt.binding(function () { return page.combo })
                    }
                }
            }
            Rectangle {
                width: 900
                height: 80
                color: page.capturing ? main.colorGray : "transparent"
                border.color: main.fontColor0
                Text {
                    anchors.centerIn: parent
                    text: page.key1 === 0 ? main.uiStrings[48]
                                          : keyNames.keycodeTostr(page.key1)
                                            + (page.combo && page.key2 !== 0 ? " + " + keyNames.keycodeTostr(page.key2) : "")
                    font.family: main.fontFamily
                    font.pixelSize: main.fontSize
                    color: main.fontColor1
                }
                MouseArea {
                    objectName: "keyDefine_pressAny"
                    anchors.fill: parent
                    onClicked: {
                        page.key1 = 0
                        page.key2 = 0
                        page.capturing = true
                    }
                }
            }
        }

        Grid {
            visible: page.tab === page.tabMedia
            columns: 3
            rowSpacing: 16
            columnSpacing: 60
            Repeater {
                model: page.mediaRows
                Checkbox {
                    objectName: "keyDefine_media" + index
                    chkStr: main.uiStrings[modelData[0]]
                    isSelect: page.mediaRow === index
                    onClicked: {
                        page.mediaRow = index
                        isSelect = Qt.binding(function () { return page.mediaRow === index })
                    }
                }
            }
        }

        Item {
            visible: page.tab === page.tabMacro
            anchors.fill: parent
            Text {
                visible: macros.count === 0
                text: main.uiStrings[104]
                font.family: main.fontFamily
                font.pixelSize: main.fontSize
                color: main.fontColor0
            }
            Column {
                spacing: 10
                Repeater {
                    model: macros
                    Checkbox {
                        objectName: "keyDefine_macro" + index
                        chkStr: name
                        isSelect: page.macroRow === index
                        onClicked: {
                            page.macroRow = index
                            isSelect = Qt.binding(function () { return page.macroRow === index })
                        }
                    }
                }
            }
        }
    }

    Row {
        x: parent.width - 840
        y: parent.height - 130
        spacing: 40
        PushButton {
            objectName: "keyDefine_default"
            text.text: main.uiStrings[52]
            onClicked: page.setDefault()
        }
        PushButton {
            objectName: "keyDefine_cancel"
            text.text: main.uiStrings[53]
            onClicked: page.cancel()
        }
        PushButton {
            objectName: "keyDefine_apply"
            text.text: main.uiStrings[54]
            onClicked: page.apply()
        }
    }
}
