import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "CPU" page: the processor history over every process the last walk
// ranked, in a list that scrolls on its own.
ColumnLayout {
    id: page
    objectName: "cpuPage"

    required property QtObject monitor

    spacing: 20

    HistoryChart {
        objectName: "cpuChart"
        Layout.fillWidth: true
        Layout.preferredHeight: 200
        autoScale: false
        tickFormat: HistoryChart.Percent

        ChartSeries {
            values: page.monitor.cpuHistory
            color: Theme.blue
            smooth: true
            fillTopOpacity: 0.5
            fillBottomOpacity: 0
            fillOverLine: true
        }
    }

    Text {
        text: "Top Processes"
        color: "white"
        font.pixelSize: Theme.headlineSize
        font.weight: Font.DemiBold
    }

    // A scroll area keeps its position while the rows are replaced on every update.
    ScrollView {
        id: scroller
        Layout.fillWidth: true
        Layout.fillHeight: true
        contentWidth: availableWidth
        ScrollBar.vertical.policy: ScrollBar.AsNeeded
        clip: true

        ColumnLayout {
            objectName: "cpuProcesses"
            readonly property var rows: Format.processRows(page.monitor.topCPUProcesses, "cpu", true)
            width: scroller.availableWidth
            spacing: 0

            Repeater {
                model: parent.rows
                ListRow {
                    required property var modelData
                    plain: true
                    verticalPadding: 4
                    name: modelData.name
                    value: modelData.value
                }
            }
        }
    }
}
