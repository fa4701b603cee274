import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// One line of a memory breakdown: a dot, the name and the formatted amount.
RowLayout {
    id: row

    required property color color
    required property string name
    required property string value

    spacing: Theme.spacing
    Layout.fillWidth: true
    Layout.topMargin: 1
    Layout.bottomMargin: 1

    Rectangle {
        implicitWidth: 8
        implicitHeight: 8
        radius: 4
        color: row.color
    }
    Text {
        text: row.name
        color: "white"
        font.pixelSize: Theme.calloutSize
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
    Text {
        text: row.value
        color: "white"
        font.pixelSize: Theme.calloutSize
        font.family: Theme.digitFont
    }
}
