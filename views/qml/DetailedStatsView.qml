import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// A detail window's content for one area.
Rectangle {
    id: root

    required property string metric
    required property QtObject monitor

    implicitWidth: 700
    implicitHeight: 700
    color: Theme.background

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 12

        Text {
            objectName: "detailTitle"
            text: root.metric
            color: "white"
            font.pixelSize: 26
            font.weight: Font.Bold
        }
        Item {
            Layout.fillHeight: true
        }
    }
}
