import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "Memory" page.
ColumnLayout {
    objectName: "memoryPage"

    required property QtObject monitor
}
