import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The graphics page's history of the device share, on a fixed 0 to 100 % scale.
HistoryChart {
    id: chart

    required property QtObject monitor

    objectName: "gpuChart"
    Layout.fillWidth: true
    implicitHeight: 160
    autoScale: false
    tickFormat: HistoryChart.Percent
    axisLabel: "%"

    ChartSeries {
        values: chart.monitor.gpuHistory
        color: Theme.purple
        smooth: true
        fillTopOpacity: 0.45
        fillBottomOpacity: 0
        fillOverLine: true
    }
}
