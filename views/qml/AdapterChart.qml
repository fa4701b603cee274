import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// A history chart of a detail page, 80 points high.
Item {
    required property QtObject monitor

    Layout.fillWidth: true
    implicitHeight: 80
}
