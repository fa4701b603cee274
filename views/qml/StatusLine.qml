import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// One status line of the battery card: a symbol and a caption, the symbol tinted on its own.
RowLayout {
    property string symbol
    property alias text: label.text
    property color color: Theme.secondaryText
    property color symbolColor: color
    property bool bold: false

    spacing: 4
    Text {
        text: Theme.symbol(parent.symbol)
        font.family: Theme.symbolFont
        font.pixelSize: Theme.captionSize
        color: parent.symbolColor
    }
    Text {
        id: label
        color: parent.color
        font.pixelSize: Theme.captionSize
        font.weight: parent.bold ? Font.Bold : Font.Normal
    }
}
