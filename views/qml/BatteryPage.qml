import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orbimeter.Views

// The detail window's "Battery" page: where the machine's power comes from and goes to, the
// battery's own readings, the time left, and the processes that use the most energy.
ScrollView {
    id: page
    objectName: "batteryPage"

    required property QtObject monitor
    readonly property QtObject m: monitor
    readonly property var given: m.measured
    // A machine without a battery measures none of its figures, nor its adapter's state; such a
    // machine can only be running on external power.
    readonly property bool withoutBattery: !given.batteryLevel && !given.batteryVoltage && !given.batteryMaxCapacity && !given.batteryDesignCapacity
    readonly property bool onExternalPower: m.batteryACConnected || withoutBattery

    // A figure where the machine measures it, else the mark of a missing reading.
    function shown(field, text) {
        return given[field] ? text : Format.missing;
    }

    // A system symbol and a text in one colour and size.
    component SymbolLabel: RowLayout {
        property string symbol
        property alias text: label.text
        property color color: "white"
        property int size: Theme.headlineSize
        property bool bold: false

        spacing: 4
        Text {
            visible: parent.symbol !== ""
            text: Theme.symbol(parent.symbol)
            font.family: Theme.symbolFont
            font.pixelSize: parent.size
            color: parent.color
        }
        Text {
            id: label
            color: parent.color
            font.pixelSize: parent.size
            font.weight: parent.bold ? Font.Bold : Font.DemiBold
        }
    }

    // A secondary caption at the left of a row, with the row's figure pushed to the right.
    component RowCaption: Text {
        color: Theme.secondaryText
        font.pixelSize: Theme.subheadlineSize
        Layout.fillWidth: true
    }

    component CardGrid: GridLayout {
        columns: 2
        rowSpacing: 10
        columnSpacing: Theme.spacing
        Layout.fillWidth: true
    }

    contentWidth: availableWidth
    ScrollBar.vertical.policy: ScrollBar.AsNeeded

    ColumnLayout {
        width: page.availableWidth
        spacing: 20

        RowLayout {
            Layout.fillWidth: true
            SymbolLabel {
                objectName: "powerSource"
                symbol: page.onExternalPower ? "powerplug.fill" : "battery.100"
                text: page.onExternalPower ? "AC Power" : "On Battery"
                color: page.onExternalPower ? Theme.green : Theme.blue
            }
            Item {
                Layout.fillWidth: true
            }
            Rectangle {
                objectName: "batteryCondition"
                visible: page.m.batteryHealthCondition !== ""
                radius: 6
                readonly property color tone: page.m.batteryHealthCondition === "Good" ? Theme.green : Theme.orange
                color: Qt.rgba(tone.r, tone.g, tone.b, 0.25)
                implicitWidth: condition.implicitWidth + 16
                implicitHeight: condition.implicitHeight + 8
                Text {
                    id: condition
                    anchors.centerIn: parent
                    text: page.m.batteryHealthCondition
                    color: "white"
                    font.pixelSize: Theme.captionSize
                }
            }
        }

        ColumnLayout {
            spacing: 6
            Layout.fillWidth: true

            RowLayout {
                Layout.fillWidth: true
                RowCaption {
                    text: "Battery Power Flow"
                }
                // Drawing from the battery is told before charging it, should both be set.
                SymbolLabel {
                    objectName: "powerFlow"
                    readonly property bool drawing: page.m.batteryDrawWatts > 0
                    readonly property bool charging: !drawing && page.m.batteryChargeWatts > 0
                    symbol: drawing ? "bolt.slash" : charging ? "bolt.fill" : ""
                    text: drawing ? Format.fixed(page.m.batteryDrawWatts, 2, " W draw") : charging ? Format.fixed(page.m.batteryChargeWatts, 2, " W charging") : page.shown("batteryWatts", "0 W")
                    color: drawing ? Theme.orange : charging ? Theme.green : Theme.secondaryText
                    size: Theme.title3Size
                    bold: true
                }
            }
            RowLayout {
                spacing: 12
                CircleLegend {
                    color: Theme.green
                    text: "Charging →battery"
                    font.pixelSize: Theme.caption2Size
                }
                CircleLegend {
                    color: Theme.orange
                    text: "Discharging ←battery"
                    font.pixelSize: Theme.caption2Size
                }
            }
            BatteryFlowChart {
                monitor: page.monitor
                Layout.fillWidth: true
            }
        }

        ColumnLayout {
            objectName: "adapterBlock"
            visible: page.m.adapterWatts > 0
            spacing: 6
            Layout.fillWidth: true

            RowLayout {
                Layout.fillWidth: true
                RowCaption {
                    text: "AC Adapter Output"
                }
                Text {
                    text: page.m.adapterWatts + " W"
                    color: Theme.blue
                    font.pixelSize: Theme.title3Size
                    font.weight: Font.Bold
                }
            }
            AdapterChart {
                monitor: page.monitor
                Layout.fillWidth: true
            }
        }

        CardGrid {
            objectName: "powerGrid"
            PowerStatCard {
                objectName: "netLoadCard"
                label: "Net System Load"
                value: page.shown("netSystemWatts", Format.fixed(page.m.netSystemWatts, 2, " W"))
                icon: "gauge.with.dots.needle.67percent"
                color: Theme.cyan
            }
            PowerStatCard {
                objectName: "systemPowerCard"
                label: "System Power (power_supply)"
                value: page.shown("totalSystemWatts", Format.fixedOr(page.m.totalSystemWatts, 2, " W", Format.missing))
                icon: "bolt.circle.fill"
                color: Theme.yellow
            }
            PowerStatCard {
                objectName: "fromBatteryCard"
                label: "From Battery"
                value: page.shown("batteryDrawWatts", Format.fixedOr(page.m.batteryDrawWatts, 2, " W", "0 W"))
                icon: "bolt.slash"
                color: page.m.batteryDrawWatts > 0 ? Theme.orange : Theme.secondaryText
            }
            PowerStatCard {
                objectName: "fromAdapterCard"
                label: "From AC Adapter"
                value: page.m.adapterWatts > 0 ? page.m.adapterWatts + " W" : page.given.batteryACConnected && !page.m.batteryACConnected ? "Not connected" : Format.missing
                icon: "powerplug.fill"
                color: page.m.adapterWatts > 0 ? Theme.blue : Theme.secondaryText
            }
            PowerStatCard {
                objectName: "chargingCard"
                visible: page.m.batteryChargeWatts > 0
                label: "Charging Battery"
                value: Format.fixed(page.m.batteryChargeWatts, 2, " W")
                icon: "bolt.fill"
                color: Theme.green
            }
            PowerStatCard {
                objectName: "adapterCard"
                visible: page.m.adapterWatts > 0
                label: "Adapter"
                value: Format.adapterContract(page.m.adapterWatts, page.m.adapterVoltage, page.m.adapterCurrent)
                icon: "cable.connector"
                color: Theme.blue
            }
        }

        CardGrid {
            objectName: "batteryGrid"
            PowerStatCard {
                objectName: "voltageCard"
                label: "Battery Voltage"
                value: page.shown("batteryVoltage", Format.fixedOr(page.m.batteryVoltage, 3, " V", Format.missing))
                icon: "bolt.circle"
                color: Theme.yellow
            }
            PowerStatCard {
                objectName: "currentCard"
                readonly property bool drawing: page.m.batteryCurrent < 0
                label: drawing ? "Draw Current" : "Charge Current"
                value: page.shown("batteryCurrent", Format.milliamps(page.m.batteryCurrent))
                icon: "waveform"
                color: drawing ? Theme.orange : Theme.green
            }
            PowerStatCard {
                objectName: "levelCard"
                label: "Charge Level"
                value: page.shown("batteryLevel", Format.percent(page.m.batteryLevel))
                icon: "battery.75"
                color: Theme.blue
            }
            PowerStatCard {
                objectName: "temperatureCard"
                readonly property real celsius: page.m.batteryTemperature
                visible: celsius > 0
                label: "Temperature"
                value: Format.fixed(celsius, 1, " °C")
                icon: "thermometer"
                color: celsius > 45 ? Theme.red : celsius > 35 ? Theme.orange : Theme.green
            }
            PowerStatCard {
                objectName: "cycleCard"
                visible: page.m.batteryCycleCount > 0
                label: "Cycle Count"
                value: String(page.m.batteryCycleCount)
                icon: "arrow.circlepath"
                color: Theme.purple
            }
            PowerStatCard {
                objectName: "healthCard"
                readonly property real health: page.m.batteryHealthPercent
                visible: health > 0
                label: "Battery Health"
                value: Format.fixed(health * 100, 0, "%")
                icon: "heart.fill"
                color: health > 0.8 ? Theme.green : health > 0.6 ? Theme.yellow : Theme.red
            }
            PowerStatCard {
                objectName: "maxCapacityCard"
                visible: page.m.batteryMaxCapacity > 0
                label: "Max Capacity"
                value: page.m.batteryMaxCapacity + " mAh"
                icon: "battery.100.circle.fill"
                color: Theme.blue
            }
            PowerStatCard {
                objectName: "designCapacityCard"
                visible: page.m.batteryDesignCapacity > 0
                label: "Design Capacity"
                value: page.m.batteryDesignCapacity + " mAh"
                icon: "battery.100.circle"
                color: Theme.gray
            }
        }

        ColumnLayout {
            spacing: 2
            Text {
                objectName: "timeCaption"
                text: page.m.isCharging ? "Time to Full" : "Time Remaining"
                color: Theme.secondaryText
                font.pixelSize: Theme.captionSize
            }
            Text {
                objectName: "timeValue"
                text: !page.m.isCharging ? page.shown("timeRemaining", page.m.timeRemaining) : page.m.batteryTimeToFull !== "" ? page.m.batteryTimeToFull : "Calculating..."
                color: "white"
                font.pixelSize: Theme.headlineSize
                font.weight: Font.DemiBold
            }
        }

        Rectangle {
            implicitHeight: 1
            Layout.fillWidth: true
            color: Qt.rgba(1, 1, 1, 0.15)
        }

        ColumnLayout {
            objectName: "energyProcesses"
            readonly property var rows: Format.processRows(page.m.topEnergyProcesses, "energy", true)
            // The rows stand apart as the page's other blocks do.
            spacing: 20
            Layout.fillWidth: true

            Text {
                text: "Top Energy Consumers"
                color: "white"
                font.pixelSize: Theme.headlineSize
                font.weight: Font.DemiBold
            }
            Repeater {
                model: parent.rows
                DetailListRow {
                    required property var modelData
                    name: modelData.name
                    value: modelData.value
                    valueColor: Theme.secondaryText
                    verticalPadding: 2
                    separator: false
                }
            }
        }
    }
}
