import QtQuick 2.0

// A scene root for the host's tests: it records every call the program
// makes on it, one "name(arg,arg);" each, in the order they arrive.
Item {
    property real zoomRate: 0
    property string calls: ""
    property bool hadContextAtLoad: false

    signal scroll(var numSteps)
    onScroll: record("scroll", [numSteps])

    function record(name, args) { calls += name + "(" + args.join(",") + ");" }

    function init() { record("init", []) }
    function show() { record("show", []) }
    function onHidRead(mode) { record("onHidRead", [mode]) }
    function onDriverRead_SpVolValue_LR(left, right) { record("onDriverRead_SpVolValue_LR", [left, right]) }
    function onDriverRead_EqValue(v1, v2, v3, v4, v5, v6, v7, v8, v9, v10) {
        record("onDriverRead_EqValue", [v1, v2, v3, v4, v5, v6, v7, v8, v9, v10])
    }

    Component.onCompleted: hadContextAtLoad = typeof zen !== "undefined" && typeof view !== "undefined"
                                              && view !== null
}
