import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "Network" page: both rates and their history as two lines.
ColumnLayout {
    id: page
    objectName: "networkPage"

    required property QtObject monitor

    spacing: Theme.spacing

    RowLayout {
        Layout.fillWidth: true
        Layout.bottomMargin: Theme.padding
        Text {
            objectName: "uploadRate"
            text: "Upload: " + page.monitor.uploadSpeed
            color: "white"
            font.pixelSize: Theme.headlineSize
            font.weight: Font.DemiBold
        }
        Item {
            Layout.fillWidth: true
        }
        Text {
            objectName: "downloadRate"
            text: "Download: " + page.monitor.downloadSpeed
            color: "white"
            font.pixelSize: Theme.headlineSize
            font.weight: Font.DemiBold
        }
    }

    HistoryChart {
        objectName: "networkChart"
        Layout.fillWidth: true
        Layout.preferredHeight: 200
        tickFormat: HistoryChart.Bytes

        ChartSeries {
            values: page.monitor.downloadHistory
            color: Theme.blue
        }
        ChartSeries {
            values: page.monitor.uploadHistory
            color: Theme.pink
        }
    }

    // Traffic is counted per interface; no reading splits it by process.
    Text {
        objectName: "perProcessNotice"
        text: "Per-process network use is not measured."
        color: Theme.secondaryText
        font.pixelSize: Theme.captionSize
        Layout.alignment: Qt.AlignHCenter
        Layout.topMargin: Theme.padding
    }

    Item {
        Layout.fillHeight: true
    }
}
