import QtQuick
import Orbimeter.Views

// A borderless button showing one symbol.
Item {
    id: button

    required property string symbol
    property color color: "white"
    property int symbolSize: 16

    signal clicked

    implicitWidth: glyph.implicitWidth
    implicitHeight: glyph.implicitHeight
    Accessible.role: Accessible.Button
    Accessible.name: symbol
    Accessible.onPressAction: button.clicked()

    Text {
        id: glyph
        anchors.centerIn: parent
        text: Theme.symbol(button.symbol)
        font.family: Theme.symbolFont
        font.pixelSize: button.symbolSize
        color: button.color
        opacity: pointer.pressed ? 0.6 : 1
    }
    MouseArea {
        id: pointer
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
