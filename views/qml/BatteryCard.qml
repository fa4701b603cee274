import QtQuick
import QtQuick.Layouts
import Orbimeter.Views

// The battery card: its level as a ring, the power flowing, the adapter and the cycles.
Card {
    id: card

    required property QtObject monitor
    readonly property var given: monitor.measured
    objectName: "batteryCard"
    area: "Battery"

    SectionHeader {
        objectName: "batteryHeader"
        title: "BATTERY"
        rightText: card.monitor.isCharging && card.monitor.batteryTimeToFull !== "" ? card.monitor.batteryTimeToFull : card.given.timeRemaining ? card.monitor.timeRemaining : Format.missing
    }
    RowLayout {
        Layout.alignment: Qt.AlignHCenter
        Layout.topMargin: Theme.padding
        Layout.bottomMargin: Theme.padding
        spacing: 16
        Ring {
            objectName: "batteryRing"
            size: 80
            fraction: card.monitor.batteryLevel
            color: card.monitor.isCharging ? Theme.green : Theme.blue
            Text {
                objectName: "batteryLevel"
                Layout.alignment: Qt.AlignHCenter
                text: card.given.batteryLevel ? Format.percent(card.monitor.batteryLevel) : Format.missing
                color: "white"
                font.pixelSize: Theme.title2Size
                font.weight: Font.Bold
            }
            Text {
                objectName: "chargingBolt"
                visible: card.monitor.isCharging
                Layout.alignment: Qt.AlignHCenter
                text: Theme.symbol("bolt.fill")
                font.family: Theme.symbolFont
                font.pixelSize: Theme.title3Size
                color: Theme.yellow
            }
        }
        ColumnLayout {
            spacing: 6
            StatusLine {
                objectName: "powerFlow"
                readonly property bool drawing: card.monitor.batteryDrawWatts > 0
                visible: drawing || card.monitor.batteryChargeWatts > 0
                symbol: drawing ? "bolt.slash" : "bolt.fill"
                color: drawing ? Theme.orange : Theme.green
                bold: true
                text: drawing ? Format.fixed(card.monitor.batteryDrawWatts, 1, " W from battery") : Format.fixed(card.monitor.batteryChargeWatts, 1, " W to battery")
            }
            // An adapter whose rating is not known is still plugged in; a
            // machine that says nothing of its power has no line of its own.
            StatusLine {
                objectName: "adapter"
                readonly property bool plugged: card.monitor.adapterWatts > 0
                readonly property bool known: card.given.batteryACConnected === true
                readonly property bool connected: plugged || (known && card.monitor.batteryACConnected)
                symbol: connected ? "powerplug.fill" : "battery.75"
                symbolColor: plugged ? Theme.blue : Theme.secondaryText
                text: plugged ? card.monitor.adapterWatts + " W adapter" : connected ? Format.missing + " W adapter" : known ? "No AC adapter" : Format.missing
            }
            StatusLine {
                objectName: "cycles"
                visible: card.monitor.batteryCycleCount > 0
                symbol: "arrow.circlepath"
                text: card.monitor.batteryCycleCount + " cycles"
            }
        }
    }
}
