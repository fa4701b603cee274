import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "Sensors" page: every temperature sensor by name, or, on a machine where
// none was found, the thermal state alone.
Item {
    id: page
    objectName: "sensorsPage"

    required property QtObject monitor
    readonly property var rows: Format.detailSensorRows(monitor.sensors)

    ListView {
        id: list
        objectName: "sensorList"
        visible: page.rows.length > 0
        anchors.fill: parent
        clip: true
        model: page.rows
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {
            policy: ScrollBar.AsNeeded
        }

        delegate: DetailListRow {
            required property var modelData
            width: list.width
            name: modelData.label
            value: modelData.temp
        }
    }

    ColumnLayout {
        objectName: "thermalFallback"
        visible: !list.visible
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        anchors.topMargin: Theme.padding
        width: Math.min(implicitWidth, parent.width - 2 * Theme.padding)
        spacing: Theme.spacing

        Text {
            text: "Thermal State"
            color: "white"
            font.pixelSize: Theme.headlineSize
            font.weight: Font.DemiBold
            Layout.alignment: Qt.AlignHCenter
        }
        Text {
            objectName: "thermalState"
            text: page.monitor.thermalState
            color: text === "Nominal" ? Theme.green : text === "Critical" ? Theme.red : Theme.yellow
            font.pixelSize: 26
            font.weight: Font.Bold
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: Theme.padding
        }
        Text {
            objectName: "sensorsUnavailable"
            text: "No hwmon or thermal-zone temperature sensor was found."
            color: Theme.secondaryText
            font.pixelSize: Theme.captionSize
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }
}
