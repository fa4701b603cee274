import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The power page's history of the adapter's output.
HistoryChart {
    id: chart

    required property QtObject monitor

    objectName: "adapterChart"
    Layout.fillWidth: true
    implicitHeight: 80
    timeAxisVisible: false
    axisLabel: "W"

    ChartSeries {
        values: chart.monitor.adapterWattsHistory
        color: Theme.blue
        smooth: true
        fillTopOpacity: 0.25
        fillBottomOpacity: 0.25
    }
}
