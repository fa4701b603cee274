import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The disk card: read and write rates over their history.
Card {
    id: card

    required property QtObject monitor
    readonly property var given: monitor.measured
    objectName: "diskCard"
    area: "Disk"

    RowLayout {
        Layout.fillWidth: true
        Figure {
            objectName: "diskRead"
            text: Format.bytes(card.monitor.diskReadBytesPerSec) + "/s"
            caption: "Read"
            captionColor: Theme.green
        }
        Item {
            Layout.fillWidth: true
        }
        Figure {
            objectName: "diskWrite"
            alignment: Qt.AlignRight
            text: Format.bytes(card.monitor.diskWriteBytesPerSec) + "/s"
            caption: "Write"
            captionColor: Theme.orange
        }
    }
    MirroredBarChart {
        objectName: "diskChart"
        Layout.fillWidth: true
        Layout.preferredHeight: 50
        Layout.topMargin: 4
        Layout.bottomMargin: 4
        up: card.monitor.diskReadHistory
        down: card.monitor.diskWriteHistory
        upColor: Theme.green
        downColor: Theme.orange
    }
}
