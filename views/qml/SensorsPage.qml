import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "Sensors" page.
ColumnLayout {
    objectName: "sensorsPage"

    required property QtObject monitor
}
