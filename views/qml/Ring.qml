import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// A ring with a figure and a caption (or any items) centred inside it.
Item {
    id: ring

    property alias fraction: gauge.fraction
    property alias color: gauge.color
    property int size: 90
    default property alias centre: centreColumn.data

    implicitWidth: size
    implicitHeight: size

    RingGauge {
        id: gauge
        objectName: "gauge"
        anchors.fill: parent
        lineWidth: 8
    }
    ColumnLayout {
        id: centreColumn
        anchors.centerIn: parent
        spacing: 0
    }
}
