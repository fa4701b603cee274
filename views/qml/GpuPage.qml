import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "Gpu" page.
ColumnLayout {
    objectName: "gpuPage"

    required property QtObject monitor
}
