import QtQuick 2.15

// Key names and codes: the USB HID keyboard usages (page 7), both ways. The
// names are what macro lines carry and what the keyboard tab shows.
QtObject {
    id: keys
    // [usage, name] in usage order.
    readonly property var usages: [
        [0x04, "A"], [0x05, "B"], [0x06, "C"], [0x07, "D"], [0x08, "E"], [0x09, "F"], [0x0A, "G"],
        [0x0B, "H"], [0x0C, "I"], [0x0D, "J"], [0x0E, "K"], [0x0F, "L"], [0x10, "M"], [0x11, "N"],
        [0x12, "O"], [0x13, "P"], [0x14, "Q"], [0x15, "R"], [0x16, "S"], [0x17, "T"], [0x18, "U"],
        [0x19, "V"], [0x1A, "W"], [0x1B, "X"], [0x1C, "Y"], [0x1D, "Z"], [0x1E, "1"], [0x1F, "2"],
        [0x20, "3"], [0x21, "4"], [0x22, "5"], [0x23, "6"], [0x24, "7"], [0x25, "8"], [0x26, "9"],
        [0x27, "0"], [0x28, "ENTER"], [0x29, "ESC"], [0x2A, "BACKSPACE"], [0x2B, "TAB"],
        [0x2C, "SPACE"], [0x2D, "-"], [0x2E, "="], [0x2F, "["], [0x30, "]"], [0x31, "\\"],
        [0x33, ";"], [0x34, "'"], [0x35, "`"], [0x36, ","], [0x37, "."], [0x38, "/"],
        [0x39, "CAPS LOCK"], [0x3A, "F1"], [0x3B, "F2"], [0x3C, "F3"], [0x3D, "F4"], [0x3E, "F5"],
        [0x3F, "F6"], [0x40, "F7"], [0x41, "F8"], [0x42, "F9"], [0x43, "F10"], [0x44, "F11"],
        [0x45, "F12"], [0x46, "PRINT SCREEN"], [0x47, "SCROLL LOCK"], [0x48, "PAUSE"],
        [0x49, "INSERT"], [0x4A, "HOME"], [0x4B, "PAGE UP"], [0x4C, "DELETE"], [0x4D, "END"],
        [0x4E, "PAGE DOWN"], [0x4F, "RIGHT ARROW"], [0x50, "LEFT ARROW"], [0x51, "DOWN ARROW"],
        [0x52, "UP ARROW"], [0x53, "NUM LOCK"], [0x54, "NUM /"], [0x55, "NUM *"], [0x56, "NUM -"],
        [0x57, "NUM +"], [0x58, "NUM ENTER"], [0x59, "NUM 1"], [0x5A, "NUM 2"], [0x5B, "NUM 3"],
        [0x5C, "NUM 4"], [0x5D, "NUM 5"], [0x5E, "NUM 6"], [0x5F, "NUM 7"], [0x60, "NUM 8"],
        [0x61, "NUM 9"], [0x62, "NUM 0"], [0x63, "NUM ."], [0x65, "APPLICATION"],
        [0xE0, "LEFT CTRL"], [0xE1, "LEFT SHIFT"], [0xE2, "LEFT ALT"], [0xE3, "LEFT WIN"],
        [0xE4, "RIGHT CTRL"], [0xE5, "RIGHT SHIFT"], [0xE6, "RIGHT ALT"], [0xE7, "RIGHT WIN"]
    ]
    // Qt key -> usage, for the keys a user may press while a page captures.
    readonly property var qtKeys: ({
        [Qt.Key_Return]: 0x28, [Qt.Key_Enter]: 0x58, [Qt.Key_Escape]: 0x29, [Qt.Key_Backspace]: 0x2A,
        [Qt.Key_Tab]: 0x2B, [Qt.Key_Space]: 0x2C, [Qt.Key_CapsLock]: 0x39, [Qt.Key_Insert]: 0x49,
        [Qt.Key_Home]: 0x4A, [Qt.Key_PageUp]: 0x4B, [Qt.Key_Delete]: 0x4C, [Qt.Key_End]: 0x4D,
        [Qt.Key_PageDown]: 0x4E, [Qt.Key_Right]: 0x4F, [Qt.Key_Left]: 0x50, [Qt.Key_Down]: 0x51,
        [Qt.Key_Up]: 0x52, [Qt.Key_Control]: 0xE0, [Qt.Key_Shift]: 0xE1, [Qt.Key_Alt]: 0xE2,
        [Qt.Key_Meta]: 0xE3, [Qt.Key_Minus]: 0x2D, [Qt.Key_Equal]: 0x2E, [Qt.Key_Comma]: 0x36,
        [Qt.Key_Period]: 0x37, [Qt.Key_Slash]: 0x38, [Qt.Key_Semicolon]: 0x33
    })
    property var nameToCode: ({})
    property var codeToName: ({})

    // Builds the two lookups from the usage table: at creation, and again
    // when asked for a first fill.
    function initUI(isFirst, _HWDef) {
        if (!isFirst && Object.keys(nameToCode).length > 0)
            return
        const byName = {}, byCode = {}
        for (let i = 0; i < usages.length; ++i) {
            byName[usages[i][1]] = usages[i][0]
            byCode[usages[i][0]] = usages[i][1]
        }
        nameToCode = byName
        codeToName = byCode
    }
    // 0 for a name no key has.
    function strTokeycode(str) {
        return nameToCode.hasOwnProperty(str) ? nameToCode[str] : 0
    }
    // An empty text for a code no key has.
    function keycodeTostr(keycode) {
        return codeToName.hasOwnProperty(keycode) ? codeToName[keycode] : ""
    }
    // The usage of a Qt key code: letters and digits by their place, the rest
    // from the table above; 0 for a key with no usage.
    function usageOfQtKey(key) {
        if (key >= Qt.Key_A && key <= Qt.Key_Z)
            return 0x04 + key - Qt.Key_A
        if (key >= Qt.Key_1 && key <= Qt.Key_9)
            return 0x1E + key - Qt.Key_1
        if (key === Qt.Key_0)
            return 0x27
        if (key >= Qt.Key_F1 && key <= Qt.Key_F12)
            return 0x3A + key - Qt.Key_F1
        return qtKeys.hasOwnProperty(key) ? qtKeys[key] : 0
    }
    // A byte as two upper-case hex digits, for logs.
    function logByte(value) {
        return ("0" + (value & 0xFF).toString(16).toUpperCase()).slice(-2)
    }
    Component.onCompleted: initUI(true, false)
}
