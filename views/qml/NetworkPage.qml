import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "Network" page.
ColumnLayout {
    objectName: "networkPage"

    required property QtObject monitor
}
