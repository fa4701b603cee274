import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// A figure over its caption, aligned to one side of a card.
ColumnLayout {
    property alias text: figure.text
    property alias caption: captionText.text
    property alias captionColor: captionText.color
    property int size: Theme.title3Size
    property color color: "white"
    property int captionSize: Theme.captionSize
    property int alignment: Qt.AlignLeft

    spacing: 2
    Text {
        id: figure
        objectName: "figure"
        Layout.alignment: parent.alignment
        color: parent.color
        font.pixelSize: parent.size
        font.weight: Font.Bold
    }
    Text {
        id: captionText
        Layout.alignment: parent.alignment
        color: Theme.secondaryText
        font.pixelSize: parent.captionSize
    }
}
