import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// One row of a detail page's plain list, with a faint line under it as plain lists separate
// their rows.
ColumnLayout {
    id: row

    required property string name
    required property string value
    property color valueColor: "white"
    property int verticalPadding: 4
    property bool separator: true

    spacing: 0
    Layout.fillWidth: true

    ListRow {
        plain: true
        name: row.name
        value: row.value
        valueColor: row.valueColor
        verticalPadding: row.verticalPadding
    }
    Rectangle {
        visible: row.separator
        implicitHeight: 1
        Layout.fillWidth: true
        color: Qt.rgba(1, 1, 1, 0.08)
    }
}
