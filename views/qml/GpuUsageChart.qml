import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// A history chart of a detail page, 160 points high.
Item {
    required property QtObject monitor

    Layout.fillWidth: true
    implicitHeight: 160
}
