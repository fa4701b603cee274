import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The network card: upload and download rates over their history.
Card {
    id: card

    required property QtObject monitor
    readonly property var given: monitor.measured
    objectName: "networkCard"
    area: "Network"

    RowLayout {
        Layout.fillWidth: true
        Figure {
            objectName: "upload"
            text: card.monitor.uploadSpeed
            caption: "Upload"
            captionColor: Theme.pink
        }
        Item {
            Layout.fillWidth: true
        }
        Figure {
            objectName: "download"
            alignment: Qt.AlignRight
            text: card.monitor.downloadSpeed
            caption: "Download"
            captionColor: Theme.blue
        }
    }
    MirroredBarChart {
        objectName: "networkChart"
        Layout.fillWidth: true
        Layout.preferredHeight: 60
        Layout.topMargin: Theme.padding
        Layout.bottomMargin: Theme.padding
        up: card.monitor.downloadHistory
        down: card.monitor.uploadHistory
        upColor: Theme.blue
        downColor: Theme.pink
    }
}
