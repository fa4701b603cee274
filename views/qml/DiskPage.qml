import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "Disk" page: read and write rates, and their history mirrored around a
// zero rule, reads above and writes below.
ColumnLayout {
    id: page
    objectName: "diskPage"

    required property QtObject monitor

    component Rate: ColumnLayout {
        property alias text: figure.text
        property alias color: figure.color
        property alias caption: caption.text
        property int alignment: Qt.AlignLeft

        spacing: 2
        Text {
            id: figure
            Layout.alignment: parent.alignment
            font.pixelSize: Theme.title2Size
            font.weight: Font.Bold
        }
        Text {
            id: caption
            Layout.alignment: parent.alignment
            color: Theme.secondaryText
            font.pixelSize: Theme.captionSize
        }
    }

    ScrollView {
        id: scroller
        Layout.fillWidth: true
        Layout.fillHeight: true
        contentWidth: availableWidth
        ScrollBar.vertical.policy: ScrollBar.AsNeeded

        ColumnLayout {
            width: scroller.availableWidth
            spacing: 16

            RowLayout {
                Layout.fillWidth: true
                Rate {
                    objectName: "diskReadRate"
                    text: Format.bytes(page.monitor.diskReadBytesPerSec) + "/s"
                    color: Theme.green
                    smooth: true
                    caption: "Read"
                }
                Item {
                    Layout.fillWidth: true
                }
                Rate {
                    objectName: "diskWriteRate"
                    alignment: Qt.AlignRight
                    text: Format.bytes(page.monitor.diskWriteBytesPerSec) + "/s"
                    color: Theme.orange
                    smooth: true
                    caption: "Write"
                }
            }

            HistoryChart {
                objectName: "diskChart"
                Layout.fillWidth: true
                Layout.preferredHeight: 180
                timeAxisVisible: false
                tickFormat: HistoryChart.Bytes
                rules: ChartRule {
                    value: 0
                    color: Qt.rgba(1, 1, 1, 0.2)
                }

                ChartSeries {
                    values: page.monitor.diskReadHistory
                    color: Theme.green
                    fillTopOpacity: 0.3
                    fillBottomOpacity: 0.3
                }
                ChartSeries {
                    values: page.monitor.diskWriteHistory
                    negated: true
                    color: Theme.orange
                    fillTopOpacity: 0.3
                    fillBottomOpacity: 0.3
                }
            }

            RowLayout {
                spacing: 12
                CircleLegend {
                    color: Theme.green
                    text: "Read"
                    font.pixelSize: Theme.caption2Size
                }
                CircleLegend {
                    color: Theme.orange
                    text: "Write"
                    font.pixelSize: Theme.caption2Size
                }
            }
        }
    }
}
