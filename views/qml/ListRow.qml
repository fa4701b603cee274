import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// One row of a list: the name at the left, its figure at the right with digits of equal width.
// On a card the name is in callout size and wraps, after an optional symbol or coloured dot,
// and the figure may have a blue outlined marker after it; in a page's plain list (`plain`) the
// name is bold in body size and elides.
RowLayout {
    id: row

    required property string name
    required property string value
    property color valueColor: "white"
    property bool plain: false
    property string symbol: ""
    property color dotColor: "transparent"
    property bool marker: false
    property int verticalPadding: 0

    spacing: Theme.spacing
    Layout.fillWidth: true
    Layout.topMargin: row.verticalPadding
    Layout.bottomMargin: row.verticalPadding

    Text {
        visible: row.symbol !== ""
        text: visible ? Theme.symbol(row.symbol) : ""
        font.family: Theme.symbolFont
        font.pixelSize: Theme.captionSize
        color: "white"
    }
    Rectangle {
        visible: row.dotColor.a > 0
        implicitWidth: 8
        implicitHeight: 8
        radius: 4
        color: row.dotColor
    }
    Text {
        objectName: "rowName"
        text: row.name
        color: "white"
        font.pixelSize: row.plain ? Theme.bodySize : Theme.calloutSize
        font.weight: row.plain ? Font.Bold : Font.Normal
        elide: row.plain ? Text.ElideRight : Text.ElideNone
        wrapMode: row.plain ? Text.NoWrap : Text.Wrap
        Layout.fillWidth: true
    }
    Text {
        objectName: "rowValue"
        text: row.value
        color: row.valueColor
        font.pixelSize: row.plain ? Theme.bodySize : Theme.calloutSize
        font.family: Theme.digitFont
    }
    Rectangle {
        visible: row.marker
        implicitWidth: 12
        implicitHeight: 12
        radius: 6
        color: "transparent"
        border.color: Theme.blue
        border.width: 1
    }
}
