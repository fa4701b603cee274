import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The power page's history of the battery's power: above the dashed zero rule while it is
// charged, below while it is drained. The whole line takes the colour of the newest sample.
HistoryChart {
    id: chart

    required property QtObject monitor

    objectName: "batteryFlowChart"
    Layout.fillWidth: true
    implicitHeight: 130
    timeAxisVisible: false
    axisLabel: "W"
    rules: ChartRule {
        value: 0
        color: Qt.rgba(1, 1, 1, 0.15)
        lineWidth: 1
        dashed: true
    }

    ChartSeries {
        objectName: "batteryFlowLine"
        readonly property var history: chart.monitor.batteryWattsHistory
        values: history
        smooth: true
        // A newest sample that is not a number counts as 0, as the chart draws it.
        color: history.length === 0 || !(history[history.length - 1] < 0) ? Theme.green : Theme.orange
    }
}
