import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// One entry of a top-process list; the value is formatted by the caller.
RowLayout {
    id: row

    required property string name
    required property string value

    spacing: Theme.spacing
    Layout.fillWidth: true
    Layout.topMargin: 2
    Layout.bottomMargin: 2

    Text {
        text: Theme.symbol("app.fill")
        font.family: Theme.symbolFont
        font.pixelSize: Theme.captionSize
        color: "white"
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
