import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "GPU" page: the model, how busy the card is over time, its engine shares,
// its memory and its power draw.
ScrollView {
    id: page
    objectName: "gpuPage"

    required property QtObject monitor
    readonly property QtObject m: monitor
    readonly property var given: m.measured

    // A figure where the machine measures it, else the mark of a missing reading.
    function shown(field, text) {
        return given[field] ? text : Format.missing;
    }

    contentWidth: availableWidth
    ScrollBar.vertical.policy: ScrollBar.AsNeeded

    ColumnLayout {
        width: page.availableWidth
        spacing: 20

        RowLayout {
            Layout.fillWidth: true
            spacing: Theme.spacing

            ColumnLayout {
                spacing: 2
                Layout.fillWidth: true
                Text {
                    objectName: "gpuModel"
                    text: page.m.gpuModelName !== "" ? page.m.gpuModelName : "GPU"
                    color: "white"
                    font.pixelSize: Theme.headlineSize
                    font.weight: Font.DemiBold
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                }
                Text {
                    objectName: "gpuCores"
                    visible: page.m.gpuCoreCount > 0
                    text: page.m.gpuCoreCount + "-core GPU"
                    color: Theme.secondaryText
                    font.pixelSize: Theme.captionSize
                }
            }
            RowLayout {
                objectName: "gpuResets"
                visible: page.m.gpuRecoveryCount > 0
                spacing: 4
                Layout.alignment: Qt.AlignVCenter
                Text {
                    text: Theme.symbol("exclamationmark.triangle")
                    font.family: Theme.symbolFont
                    font.pixelSize: Theme.captionSize
                    color: Theme.orange
                }
                Text {
                    objectName: "gpuResetsText"
                    text: page.m.gpuRecoveryCount + " resets"
                    font.pixelSize: Theme.captionSize
                    color: Theme.orange
                }
            }
        }

        ColumnLayout {
            spacing: 6
            Layout.fillWidth: true
            RowLayout {
                Layout.fillWidth: true
                Text {
                    text: "Device Utilization"
                    color: Theme.secondaryText
                    font.pixelSize: Theme.subheadlineSize
                    Layout.fillWidth: true
                }
                Text {
                    objectName: "gpuUtilization"
                    text: page.shown("gpuUsage", Format.percent(page.m.gpuUsage))
                    color: Theme.purple
                    font.pixelSize: Theme.title3Size
                    font.weight: Font.Bold
                }
            }
            GpuUsageChart {
                monitor: page.monitor
                Layout.fillWidth: true
            }
        }

        GridLayout {
            columns: 3
            rowSpacing: 10
            columnSpacing: Theme.spacing
            Layout.fillWidth: true
            PowerStatCard {
                objectName: "gpuDeviceCard"
                label: "Device"
                value: page.shown("gpuUsage", Format.percent(page.m.gpuUsage))
                icon: "cpu"
                color: Theme.purple
            }
            PowerStatCard {
                objectName: "gpuRendererCard"
                label: "Renderer"
                value: page.shown("gpuRendererUtil", Format.percent(page.m.gpuRendererUtil))
                icon: "paintbrush"
                color: Theme.pink
            }
            PowerStatCard {
                objectName: "gpuTilerCard"
                label: "Tiler"
                value: page.shown("gpuTilerUtil", Format.percent(page.m.gpuTilerUtil))
                icon: "square.grid.3x3"
                color: Theme.cyan
            }
        }

        GridLayout {
            columns: 2
            rowSpacing: 10
            columnSpacing: Theme.spacing
            Layout.fillWidth: true
            PowerStatCard {
                objectName: "vramInUseCard"
                label: "VRAM In Use"
                value: page.shown("gpuMemoryUsed", Format.bytes(page.m.gpuMemoryUsed))
                icon: "memorychip"
                color: Theme.blue
            }
            PowerStatCard {
                objectName: "vramAllocatedCard"
                label: "VRAM Allocated"
                value: page.shown("gpuMemoryAllocated", Format.bytes(page.m.gpuMemoryAllocated))
                icon: "memorychip.fill"
                color: Theme.indigo
            }
        }

        PowerStatCard {
            objectName: "gpuPowerCard"
            label: "GPU Power"
            value: Format.fixedOr(page.m.gpuPowerWatts, 2, " W", "N/A")
            icon: "bolt.circle"
            color: Theme.secondaryText
        }

        Text {
            objectName: "gpuSource"
            text: "Source: kernel DRM drivers (sysfs, fdinfo) and NVIDIA NVML"
            color: Theme.secondaryText
            font.pixelSize: Theme.caption2Size
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }
}
