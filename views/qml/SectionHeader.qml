import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// A card's title at the left and a short figure at the right edge.
RowLayout {
    id: header

    required property string title
    required property string rightText

    spacing: Theme.spacing
    Layout.fillWidth: true
    Layout.bottomMargin: 4

    Text {
        objectName: "headerTitle"
        text: header.title
        color: Theme.blue
        font.pixelSize: Theme.headlineSize
        font.weight: Font.DemiBold
    }
    Item {
        Layout.fillWidth: true
    }
    Text {
        objectName: "headerRightText"
        text: header.rightText
        color: "white"
        font.pixelSize: Theme.subheadlineSize
    }
}
