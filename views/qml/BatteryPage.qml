import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "Battery" page.
ColumnLayout {
    objectName: "batteryPage"

    required property QtObject monitor
}
