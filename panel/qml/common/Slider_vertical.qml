import QtQuick 2.15

// A vertical slider: index 0 at the top, maxIndex at the bottom, to the
// nearest index. A release reports the index it settled on.
Item {
    id: slider
    property int maxIndex: 0x32
    property alias currentY: ball.y
    readonly property real travel: height - ball.height
    signal sliderClicked(int index)

    width: 60
    height: 500

    function setCurIndex(index) {
        const clamped = Math.max(0, Math.min(maxIndex, index))
        ball.y = maxIndex > 0 ? clamped * travel / maxIndex : 0
    }
    function getCurIndex() {
        return travel > 0 ? Math.round(ball.y / travel * maxIndex) : 0
    }
    function settle() {
        setCurIndex(getCurIndex())
        sliderClicked(getCurIndex())
    }

    BorderImage {
        anchors.horizontalCenter: parent.horizontalCenter
        width: 12
        height: parent.height
        border { left: 6; right: 6; top: 6; bottom: 6 }
        source: "file:img/common/slider_track_v.png"
    }
    // The part of the track below the ball, in the highlight: the level.
    Rectangle {
        anchors.horizontalCenter: parent.horizontalCenter
        y: ball.y + ball.height / 2
        width: 6
        height: slider.height - y
        radius: 3
        color: main.colorPrimary
    }
    MouseArea {
        objectName: slider.objectName + "_track"
        anchors.fill: parent
        onClicked: function (mouse) {
            ball.y = Math.max(0, Math.min(slider.travel, mouse.y - ball.height / 2))
            slider.settle()
        }
    }
    Image {
        id: ball
        width: slider.width
        height: slider.width
        source: "file:img/common/slider_ball.png"
        MouseArea {
            objectName: slider.objectName + "_ball"
            anchors.fill: parent
            drag.target: ball
            drag.axis: Drag.YAxis
            drag.minimumY: 0
            drag.maximumY: slider.travel
            onReleased: slider.settle()
        }
    }
}
