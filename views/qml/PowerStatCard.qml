import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// A tile with one power or battery figure; it takes the full width its parent offers. The root
// is a plain item: `color` is the symbol's tint, not the tile's fill.
Item {
    id: card

    required property string label
    required property string value
    required property string icon
    required property color color

    // Grown from nothing, so tiles side by side take equal shares whatever their texts.
    Layout.fillWidth: true
    Layout.preferredWidth: 0
    implicitWidth: lines.implicitWidth + 20
    implicitHeight: lines.implicitHeight + 20

    Rectangle {
        anchors.fill: parent
        radius: 8
        color: Qt.rgba(1, 1, 1, 0.07)
    }

    ColumnLayout {
        id: lines
        anchors.fill: parent
        anchors.margins: 10
        spacing: 6

        RowLayout {
            spacing: 4
            Text {
                text: Theme.symbol(card.icon)
                font.family: Theme.symbolFont
                font.pixelSize: Theme.captionSize
                color: card.color
            }
            Text {
                text: card.label
                color: Theme.secondaryText
                font.pixelSize: Theme.captionSize
            }
        }
        Text {
            text: card.value
            color: "white"
            font.pixelSize: Theme.headlineSize
            font.weight: Font.DemiBold
            font.family: Theme.digitFont
        }
    }
}
