import QtQuick 2.15
import "qrc:/qml/common"

// The macro manager: creates, renames, deletes, edits and records macro
// files. A macro line is a value and a ten-character command.
Item {
    id: page
    objectName: "page_macro"

    readonly property int kMaxLines: 46
    readonly property int kMaxDelayMs: 65535
    readonly property string kDown: "    [Down]"
    readonly property string kUp: "      [Up]"
    readonly property string kDelay: "   [Delay]"
    property string currentName: ""
    property bool recording: false
    property bool delayOn: true
    property int elapsedMs: 0
    property int tickInterval: 10
    signal clicked

    width: 2400
    height: 1400

    ListModel { id: files } // name
    ListModel { id: actions } // value, command

    KeyCodeString { id: keyNames }

    Component.onCompleted: reloadFiles()

    function reloadFiles() {
        files.clear()
        const found = view.getMacroIniNames()
        if (found.length < 1)
            return
        for (let i = 0; i < found[0].length; ++i)
            files.append({ name: found[0][i].slice(0, -4) })
    }
    function indexOfFile(name) {
        for (let i = 0; i < files.count; ++i)
            if (files.get(i).name === name)
                return i
        return -1
    }
    function selectFile(index) {
        if (recording)
            stopRecording()
        fileList.lvItems.currentIndex = index
        currentName = index >= 0 && index < files.count ? files.get(index).name : ""
        loadActions()
    }
    function loadActions() {
        actions.clear()
        runTimes.text = ""
        if (currentName === "")
            return
        const lines = view.loadMacroIni(currentName)
        for (let i = 0; i < lines.length; ++i)
            actions.append({ value: lines[i].slice(0, -10), command: lines[i].slice(-10) })
        const cfg = view.loadMacroIniConfig(currentName)
        if (cfg.length >= 2)
            runTimes.text = cfg[1]
    }
    function createFile() {
        const name = view.createMacroIni()
        files.append({ name: name })
        selectFile(files.count - 1)
    }
    function deleteFile() {
        const index = indexOfFile(currentName)
        if (index < 0 || !view.deleteMacroIni(currentName))
            return
        files.remove(index)
        selectFile(-1)
    }
    function hasFile(name) {
        const found = view.getMacroIniNames()
        return found.length > 0 && found[0].indexOf(name + ".bin") >= 0
    }
    // The list has shown the new name since the edit ended. The folder
    // refuses a name already taken or one that is no plain file name, and
    // the file keeps its old one: the list shows the files as they are, so
    // that what is saved or deleted under the chosen name is that file.
    function renameFile(oldName, newName) {
        view.renameMacroIniFile(oldName, newName)
        if (currentName === oldName && hasFile(newName) && !hasFile(oldName))
            currentName = newName
        reloadFiles()
        fileList.lvItems.currentIndex = indexOfFile(currentName)
    }
    function setRunTimes(text) {
        const cfg = view.loadMacroIniConfig(currentName)
        if (cfg.length < 3)
            return
        view.setMacroIniConfig(currentName, [cfg[0], Math.max(1, parseInt(text) || 1), cfg[2]])
    }

    function lines() {
        const out = []
        for (let i = 0; i < actions.count; ++i)
            out.push(actions.get(i).value + actions.get(i).command)
        return out
    }
    // A macro holds at most kMaxLines lines: the line that fills it ends
    // the recording.
    function addLine(value, command) {
        if (!recording)
            return
        actions.append({ value: String(value), command: command })
        if (actions.count >= kMaxLines)
            stopRecording()
    }
    // Recording needs a file to save into.
    function toggleRecording() {
        if (recording) {
            stopRecording()
            return
        }
        if (currentName === "")
            return
        actions.clear()
        elapsedMs = 0
        recording = true
    }
    function stopRecording() {
        recording = false
        if (!view.saveMacroIni(currentName, lines()))
            actions.clear()
    }
    function tick() {
        if (!recording)
            return
        elapsedMs += 10
        if (elapsedMs >= kMaxDelayMs) {
            elapsedMs -= kMaxDelayMs
            addLine(kMaxDelayMs, kDelay)
        }
    }
    function recordKey(name, down) {
        if (!recording || name === "")
            return
        if (delayOn) {
            addLine(elapsedMs, kDelay)
            elapsedMs = 0
        }
        addLine(name, down ? kDown : kUp)
    }

    Timer {
        interval: page.tickInterval
        repeat: true
        running: page.recording
        onTriggered: page.tick()
    }
    focus: recording
    Keys.onPressed: function (event) {
        page.recordKey(keyNames.keycodeTostr(keyNames.usageOfQtKey(event.key)), true)
        event.accepted = page.recording
    }
    Keys.onReleased: function (event) {
        page.recordKey(keyNames.keycodeTostr(keyNames.usageOfQtKey(event.key)), false)
        event.accepted = page.recording
    }

    Image {
        anchors.fill: parent
        source: "file:img/frame/macro_panel.png"
    }
    Text {
        x: 60
        y: 40
        text: main.uiStrings[83]
        font.family: main.fontFamily
        font.pixelSize: main.fontSize + 6
        color: main.fontColor1
    }
    Text {
        x: 60
        y: 140
        text: main.uiStrings[84]
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: main.fontColor0
    }
    FileList {
        id: fileList
        objectName: "macro_files"
        x: 60
        y: 200
        height: 950
        mdItems: files
        onListElementClicked: function (index) { page.selectFile(index) }
        onListElementDoubleClicked: function (index) { fileList.editFileName(index) }
        onEditFileName_completed: function (oldName, newName) { page.renameFile(oldName, newName) }
    }
    Row {
        x: 60
        y: 1180
        spacing: 40
        PushButton {
            objectName: "macro_create"
            text.text: main.uiStrings[87]
            onClicked: page.createFile()
        }
        PushButton {
            objectName: "macro_delete"
            text.text: main.uiStrings[88]
            onClicked: page.deleteFile()
        }
    }
    Text {
        x: 760
        y: 140
        text: main.uiStrings[85]
        font.family: main.fontFamily
        font.pixelSize: main.fontSize
        color: main.fontColor0
    }
    ListView {
        objectName: "macro_actions"
        x: 760
        y: 200
        width: 900
        height: 950
        clip: true
        spacing: 10
        model: actions
        delegate: Row {
            spacing: 40
            Text {
                width: 500
                text: value
                font.family: main.fontFamily
                font.pixelSize: main.fontSize
                color: main.fontColor1
            }
            Text {
                text: command.trim()
                font.family: main.fontFamily
                font.pixelSize: main.fontSize
                color: main.fontColor0
            }
        }
    }
    Column {
        x: 1760
        y: 140
        spacing: 30
        Text {
            text: main.uiStrings[86]
            font.family: main.fontFamily
            font.pixelSize: main.fontSize
            color: main.fontColor0
        }
        Checkbox {
            objectName: "macro_delayOption"
            chkStr: main.uiStrings[91]
            isSelect: page.delayOn
            onClicked: {
                page.delayOn = isSelect
                isSelect = Qt.binding(function () { return page.delayOn })
            }
        }
        Text {
            text: main.uiStrings[92]
            font.family: main.fontFamily
            font.pixelSize: main.fontSize
            color: main.fontColor0
        }
        TextInput {
            id: runTimes
            objectName: "macro_runTimes"
            width: 200
            font.family: main.fontFamily
            font.pixelSize: main.fontSize
            color: main.fontColor1
            validator: IntValidator { bottom: 1; top: 65535 }
            onEditingFinished: page.setRunTimes(text)
        }
        PushButton {
            objectName: "macro_record"
            width: 400
            text.text: main.uiStrings[89]
            onClicked: page.toggleRecording()
        }
        PushButton {
            objectName: "macro_close"
            width: 400
            text.text: main.uiStrings[90]
            onClicked: page.clicked()
        }
    }
}
