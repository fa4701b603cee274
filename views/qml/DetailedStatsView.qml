import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// A detail window's content: the area's name as a large title and, below it, that area's page.
// A value that names no area (the comparison is exact: "cpu" is not "CPU") shows the title alone.
Rectangle {
    id: root

    required property string metric
    required property QtObject monitor

    implicitWidth: 700
    implicitHeight: 700
    color: Theme.background

    readonly property var pages: ({
            "CPU": cpuPage,
            "GPU": gpuPage,
            "Memory": memoryPage,
            "Disk": diskPage,
            "Network": networkPage,
            "Battery": batteryPage,
            "Sensors": sensorsPage
        })

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Theme.padding
        spacing: 20

        Text {
            objectName: "detailTitle"
            text: root.metric
            color: "white"
            font.pixelSize: 26
            font.weight: Font.Bold
            Layout.bottomMargin: Theme.padding
        }
        Loader {
            objectName: "detailPage"
            Layout.fillWidth: true
            Layout.fillHeight: true
            sourceComponent: root.pages[root.metric] ?? null
        }
        Item {
            visible: !root.pages[root.metric]
            Layout.fillHeight: true
        }
    }

    Component {
        id: cpuPage
        CpuPage {
            monitor: root.monitor
        }
    }
    Component {
        id: gpuPage
        GpuPage {
            monitor: root.monitor
        }
    }
    Component {
        id: memoryPage
        MemoryPage {
            monitor: root.monitor
        }
    }
    Component {
        id: diskPage
        DiskPage {
            monitor: root.monitor
        }
    }
    Component {
        id: networkPage
        NetworkPage {
            monitor: root.monitor
        }
    }
    Component {
        id: batteryPage
        BatteryPage {
            monitor: root.monitor
        }
    }
    Component {
        id: sensorsPage
        SensorsPage {
            monitor: root.monitor
        }
    }
}
