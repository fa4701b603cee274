import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The sensors card: each temperature sensor, or the thermal state where none is readable.
Card {
    id: card

    required property QtObject monitor
    readonly property var given: monitor.measured
    objectName: sensorList ? "sensorsCard" : "thermalCard"
    area: "Sensors"
    spacing: 8

    readonly property var sensorRows: Format.sensorRows(card.monitor.sensors)
    readonly property bool sensorList: sensorRows.length > 0

    SectionHeader {
        title: card.sensorList ? "SENSORS" : "THERMAL"
        rightText: card.sensorList ? "Click for details" : card.monitor.thermalState
    }
    Repeater {
        model: card.sensorRows
        ListRow {
            required property var modelData
            marker: true
            name: modelData.label
            value: modelData.temp
        }
    }
    RowLayout {
        visible: !card.sensorList
        Layout.fillWidth: true
        Text {
            text: "Status"
            color: "white"
            font.pixelSize: Theme.bodySize
        }
        Item {
            Layout.fillWidth: true
        }
        Text {
            objectName: "thermalState"
            text: card.monitor.thermalState
            font.pixelSize: Theme.bodySize
            font.weight: Font.Bold
            color: text === "Nominal" ? Theme.green : text === "Critical" ? Theme.red : Theme.yellow
        }
    }
}
