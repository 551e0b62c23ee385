import QtQuick 2.15

// A horizontal slider: the ball's position along the track gives an index
// 0..maxIndex, to the nearest index. A release reports the index it settled on.
Item {
    id: slider
    property int maxIndex: 0x32
    property alias currentX: ball.x
    readonly property real travel: width - ball.width
    signal sliderClicked(int index)

    width: 600
    height: 60

    function setCurIndex(index) {
        const clamped = Math.max(0, Math.min(maxIndex, index))
        ball.x = maxIndex > 0 ? clamped * travel / maxIndex : 0
    }
    function getCurIndex() {
        return travel > 0 ? Math.round(ball.x / travel * maxIndex) : 0
    }
    function settle() {
        setCurIndex(getCurIndex())
        sliderClicked(getCurIndex())
    }

    BorderImage {
        anchors.verticalCenter: parent.verticalCenter
        width: parent.width
        height: 12
        border { left: 6; right: 6; top: 6; bottom: 6 }
        source: "file:img/common/slider_track.png"
    }
    // The part of the track up to the ball, in the highlight.
    Rectangle {
        anchors.verticalCenter: parent.verticalCenter
        width: ball.x + ball.width / 2
        height: 6
        radius: 3
        color: main.colorPrimary
    }
    MouseArea {
        objectName: slider.objectName + "_track"
        anchors.fill: parent
        onClicked: function (mouse) {
            ball.x = Math.max(0, Math.min(slider.travel, mouse.x - ball.width / 2))
            slider.settle()
        }
    }
    Image {
        id: ball
        width: slider.height
        height: slider.height
        source: "file:img/common/slider_ball.png"
        MouseArea {
            objectName: slider.objectName + "_ball"
            anchors.fill: parent
            drag.target: ball
            drag.axis: Drag.XAxis
            drag.minimumX: 0
            drag.maximumX: slider.travel
            onReleased: slider.settle()
        }
    }
}
