import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// One area of the popover: a padded column on a faint rounded tile, clickable as a whole.
Rectangle {
    id: card

    required property string area
    default property alias content: column.data
    property alias spacing: column.spacing

    signal activated(string area)

    Layout.fillWidth: true
    implicitHeight: column.implicitHeight + 2 * Theme.padding
    radius: 12
    color: Qt.rgba(1, 1, 1, 0.05)
    Accessible.role: Accessible.Button
    Accessible.name: area
    Accessible.onPressAction: card.activated(card.area)

    // Under the content: texts and charts take no clicks, so the whole tile is the button.
    MouseArea {
        anchors.fill: parent
        onClicked: card.activated(card.area)
    }
    ColumnLayout {
        id: column
        x: Theme.padding
        y: Theme.padding
        width: parent.width - 2 * Theme.padding
        spacing: 0
    }
}
