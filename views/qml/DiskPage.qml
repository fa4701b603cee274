import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "Disk" page.
ColumnLayout {
    objectName: "diskPage"

    required property QtObject monitor
}
