import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The graphics card: its history, the device, renderer and tiler shares, and its memory.
Card {
    id: card

    required property QtObject monitor
    readonly property var given: monitor.measured
    objectName: "gpuCard"
    area: "GPU"

    SectionHeader {
        title: "GPU"
        rightText: "Click for details"
    }
    MiniBarChart {
        objectName: "gpuChart"
        Layout.fillWidth: true
        Layout.preferredHeight: 50
        Layout.topMargin: 8
        Layout.bottomMargin: 8
        values: card.monitor.gpuHistory
        color: Theme.purple
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 16
        Figure {
            objectName: "gpuDevice"
            text: card.given.gpuUsage ? Format.percent(card.monitor.gpuUsage) : Format.missing
            size: Theme.title2Size
            color: Theme.purple
            caption: "Device"
            captionSize: Theme.caption2Size
        }
        Figure {
            objectName: "gpuRenderer"
            text: card.given.gpuRendererUtil ? Format.percent(card.monitor.gpuRendererUtil) : Format.missing
            color: Theme.pink
            caption: "Render"
            captionSize: Theme.caption2Size
        }
        Figure {
            objectName: "gpuTiler"
            text: card.given.gpuTilerUtil ? Format.percent(card.monitor.gpuTilerUtil) : Format.missing
            color: Theme.cyan
            caption: "Tiler"
            captionSize: Theme.caption2Size
        }
        Item {
            Layout.fillWidth: true
        }
        Figure {
            objectName: "gpuVram"
            visible: card.monitor.gpuMemoryUsed > 0
            alignment: Qt.AlignRight
            text: Format.bytes(card.monitor.gpuMemoryUsed)
            size: Theme.calloutSize
            caption: "VRAM"
            captionSize: Theme.caption2Size
        }
    }
}
