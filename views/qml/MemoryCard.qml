import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The memory card: pressure and use as rings, the memory in use and free.
Card {
    id: card

    required property QtObject monitor
    readonly property var given: monitor.measured
    objectName: "memoryCard"
    area: "Memory"

    readonly property real usedShare: card.monitor.memoryTotal > 0 ? card.monitor.memoryUsed / card.monitor.memoryTotal : 0

    SectionHeader {
        title: "MEMORY"
        rightText: "Click for details"
    }
    RowLayout {
        Layout.alignment: Qt.AlignHCenter
        Layout.topMargin: Theme.padding
        Layout.bottomMargin: Theme.padding
        spacing: 20
        Ring {
            objectName: "pressureRing"
            fraction: card.monitor.memoryPressure
            color: Theme.blue
            Figure {
                objectName: "pressure"
                alignment: Qt.AlignHCenter
                text: Format.percent(card.monitor.memoryPressure)
                size: Theme.title2Size
                caption: "PRESSURE"
                captionSize: Theme.caption2Size
            }
        }
        Ring {
            objectName: "usageRing"
            fraction: card.usedShare
            color: Theme.yellow
            Figure {
                objectName: "usage"
                alignment: Qt.AlignHCenter
                text: Format.percent(card.usedShare)
                size: Theme.title2Size
                caption: "MEMORY"
                captionSize: Theme.caption2Size
            }
        }
    }
    ListRow {
        objectName: "memoryApp"
        verticalPadding: 1
        dotColor: Theme.blue
        name: "App"
        value: Format.bytes(card.monitor.memoryUsed)
    }
    ListRow {
        objectName: "memoryFree"
        verticalPadding: 1
        dotColor: Theme.pink
        name: "Free"
        value: Format.bytes(card.monitor.memoryTotal - card.monitor.memoryUsed)
    }
}
