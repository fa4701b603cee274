import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The processor card: its history, the user and system shares, and the busiest processes.
Card {
    id: card

    required property QtObject monitor
    readonly property var given: monitor.measured
    objectName: "cpuCard"
    area: "CPU"

    SectionHeader {
        title: "CPU"
        rightText: "Click for details"
    }
    MiniBarChart {
        objectName: "cpuChart"
        Layout.fillWidth: true
        Layout.preferredHeight: 50
        Layout.topMargin: 8
        Layout.bottomMargin: 8
        values: card.monitor.cpuHistory
        color: Theme.blue
        topColor: Theme.purple
    }
    RowLayout {
        Layout.fillWidth: true
        CircleLegend {
            objectName: "cpuUser"
            color: Theme.blue
            text: "User " + Format.percent(card.monitor.cpuUser)
            font.pixelSize: Theme.captionSize
        }
        Item {
            Layout.fillWidth: true
        }
        CircleLegend {
            objectName: "cpuSystem"
            color: Theme.pink
            text: "System " + Format.percent(card.monitor.cpuSystem)
            font.pixelSize: Theme.captionSize
        }
    }
    ColumnLayout {
        objectName: "cpuProcesses"
        readonly property var rows: Format.cpuProcessRows(card.monitor.topCPUProcesses, 3)
        visible: rows.length > 0
        Layout.fillWidth: true
        Layout.topMargin: 8
        spacing: 4
        Repeater {
            model: parent.rows
            ListRow {
                required property var modelData
                symbol: "app.fill"
                verticalPadding: 2
                name: modelData.name
                value: modelData.value
            }
        }
    }
}
