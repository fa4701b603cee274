import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "Memory" page: used out of total, the kinds of used memory, swap when the
// machine has any, and the processes that hold the most.
ScrollView {
    id: page
    objectName: "memoryPage"

    required property QtObject monitor
    readonly property QtObject m: monitor

    // A bar filled to `value` out of `total`, held within its track.
    component LinearBar: Rectangle {
        property real value
        property real total: 1
        property color tint
        readonly property real fraction: total > 0 ? Math.max(0, Math.min(1, value / total)) : 0

        Layout.fillWidth: true
        implicitHeight: 6
        radius: 3
        color: Qt.rgba(1, 1, 1, 0.12)
        Rectangle {
            width: parent.width * parent.fraction
            height: parent.height
            radius: parent.radius
            color: parent.tint
        }
    }

    contentWidth: availableWidth
    ScrollBar.vertical.policy: ScrollBar.AsNeeded

    ColumnLayout {
        width: page.availableWidth
        spacing: 16

        RowLayout {
            Layout.fillWidth: true
            Text {
                objectName: "memoryUsedText"
                text: "Used: " + Format.bytes(page.m.memoryUsed)
                color: "white"
                font.pixelSize: Theme.headlineSize
                font.weight: Font.DemiBold
                Layout.fillWidth: true
            }
            Text {
                objectName: "memoryTotalText"
                text: "Total: " + Format.bytes(page.m.memoryTotal)
                color: "white"
                font.pixelSize: Theme.headlineSize
                font.weight: Font.DemiBold
            }
        }
        LinearBar {
            objectName: "memoryBar"
            value: page.m.memoryUsed
            total: page.m.memoryTotal
            tint: Theme.yellow
        }

        GridLayout {
            columns: 2
            rowSpacing: 10
            columnSpacing: Theme.spacing
            Layout.fillWidth: true
            PowerStatCard {
                label: "Wired"
                value: Format.bytes(page.m.memoryWired)
                icon: "lock.fill"
                color: Theme.red
            }
            PowerStatCard {
                label: "Active"
                value: Format.bytes(page.m.memoryActive)
                icon: "memorychip"
                color: Theme.blue
            }
            PowerStatCard {
                label: "Inactive"
                value: Format.bytes(page.m.memoryInactive)
                icon: "memorychip"
                color: Theme.gray
            }
            PowerStatCard {
                label: "Compressed"
                value: Format.bytes(page.m.memoryCompressed)
                icon: "archivebox"
                color: Theme.purple
            }
        }

        ColumnLayout {
            id: swap
            objectName: "swapBlock"
            visible: page.m.swapTotal > 0
            spacing: 6
            Layout.fillWidth: true

            // A total below one byte counts as one, so the share stays finite.
            readonly property real divisor: Math.max(page.m.swapTotal, 1)
            readonly property color tint: page.m.swapUsed / divisor > 0.8 ? Theme.red : Theme.orange

            RowLayout {
                Layout.fillWidth: true
                Text {
                    text: "Swap"
                    color: Theme.secondaryText
                    font.pixelSize: Theme.subheadlineSize
                    Layout.fillWidth: true
                }
                Text {
                    objectName: "swapText"
                    text: Format.bytes(page.m.swapUsed) + " / " + Format.bytes(page.m.swapTotal)
                    color: swap.tint
                    font.pixelSize: Theme.subheadlineSize
                    font.weight: Font.Bold
                }
            }
            LinearBar {
                objectName: "swapBar"
                value: page.m.swapUsed
                total: swap.divisor
                tint: swap.tint
            }
        }

        Text {
            text: "Top Processes"
            color: "white"
            font.pixelSize: Theme.headlineSize
            font.weight: Font.DemiBold
        }
        ColumnLayout {
            objectName: "memoryProcesses"
            readonly property var rows: Format.processRows(page.m.topMemoryProcesses, "memory", false)
            spacing: 0
            Layout.fillWidth: true
            Layout.minimumHeight: 200
            Layout.alignment: Qt.AlignTop

            Repeater {
                model: parent.rows
                DetailListRow {
                    required property var modelData
                    name: modelData.name
                    value: modelData.value
                }
            }
            Item {
                Layout.fillHeight: true
            }
        }
    }
}
