import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// One row of a detail page's plain list: a bold name at the left, its figure at the right edge
// with digits of equal width, and a faint line under it as plain lists separate their rows.
ColumnLayout {
    id: row

    required property string name
    required property string value
    property color valueColor: "white"
    property int verticalPadding: 4
    property bool separator: true

    spacing: 0
    Layout.fillWidth: true

    RowLayout {
        spacing: Theme.spacing
        Layout.fillWidth: true
        Layout.topMargin: row.verticalPadding
        Layout.bottomMargin: row.verticalPadding

        Text {
            objectName: "rowName"
            text: row.name
            color: "white"
            font.pixelSize: Theme.bodySize
            font.weight: Font.Bold
            elide: Text.ElideRight
            Layout.fillWidth: true
        }
        Text {
            objectName: "rowValue"
            text: row.value
            color: row.valueColor
            font.pixelSize: Theme.bodySize
            font.family: Theme.digitFont
        }
    }
    Rectangle {
        visible: row.separator
        implicitHeight: 1
        Layout.fillWidth: true
        color: Qt.rgba(1, 1, 1, 0.08)
    }
}
