import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "Cpu" page.
ColumnLayout {
    objectName: "cpuPage"

    required property QtObject monitor
}
