import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// One temperature sensor, its formatted reading and a blue outlined marker.
RowLayout {
    id: row

    required property string label
    required property string temp

    spacing: Theme.spacing
    Layout.fillWidth: true

    Text {
        text: row.label
        color: "white"
        font.pixelSize: Theme.calloutSize
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
    Text {
        text: row.temp
        color: "white"
        font.pixelSize: Theme.calloutSize
        font.family: Theme.digitFont
    }
    Rectangle {
        implicitWidth: 12
        implicitHeight: 12
        radius: 6
        color: "transparent"
        border.color: Theme.blue
        border.width: 1
    }
}
