import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orbimeter.Views

// The popover: a title bar with the settings and quit buttons over a scrolling column of cards.
Rectangle {
    id: root

    required property QtObject monitor
    required property QtObject shell

    implicitWidth: 340
    implicitHeight: 750
    color: Theme.background

    // A figure over its caption, aligned to one side of a card.
    component Figure: ColumnLayout {
        property alias text: figure.text
        property alias caption: captionText.text
        property alias captionColor: captionText.color
        property int size: Theme.title3Size
        property color color: "white"
        property int captionSize: Theme.captionSize
        property int alignment: Qt.AlignLeft

        spacing: 2
        Text {
            id: figure
            objectName: "figure"
            Layout.alignment: parent.alignment
            color: parent.color
            font.pixelSize: parent.size
            font.weight: Font.Bold
        }
        Text {
            id: captionText
            Layout.alignment: parent.alignment
            color: Theme.secondaryText
            font.pixelSize: parent.captionSize
        }
    }

    // One status line of the battery card: a symbol and a caption, the symbol tinted on its own.
    component StatusLine: RowLayout {
        property string symbol
        property alias text: label.text
        property color color: Theme.secondaryText
        property color symbolColor: color
        property bool bold: false

        spacing: 4
        Text {
            text: Theme.symbol(parent.symbol)
            font.family: Theme.symbolFont
            font.pixelSize: Theme.captionSize
            color: parent.symbolColor
        }
        Text {
            id: label
            color: parent.color
            font.pixelSize: Theme.captionSize
            font.weight: parent.bold ? Font.Bold : Font.Normal
        }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            objectName: "titleBar"
            Layout.fillWidth: true
            implicitHeight: titleRow.implicitHeight + 24
            color: Qt.rgba(0, 0, 0, 0.2)

            RowLayout {
                id: titleRow
                anchors.fill: parent
                anchors.margins: 12
                spacing: Theme.spacing

                Text {
                    objectName: "appName"
                    text: "Orbimeter"
                    color: "white"
                    font.pixelSize: Theme.headlineSize
                    font.weight: Font.DemiBold
                }
                Item {
                    Layout.fillWidth: true
                }
                SymbolButton {
                    objectName: "settingsButton"
                    symbol: "gearshape.fill"
                    color: "white"
                    onClicked: root.shell.openSettings()
                }
                SymbolButton {
                    objectName: "quitButton"
                    Layout.leftMargin: 8
                    symbol: "power"
                    color: Theme.red
                    onClicked: root.shell.quitApplication()
                }
            }
        }

        ScrollView {
            id: scroller
            objectName: "cardScroller"
            Layout.fillWidth: true
            Layout.fillHeight: true
            ScrollBar.vertical.policy: ScrollBar.AsNeeded
            contentWidth: availableWidth

            // The cards exist only while the popover shows: a hidden popover evaluates no
            // binding and draws no chart.
            Loader {
                objectName: "cardsLoader"
                width: scroller.availableWidth
                active: root.Window.visibility !== Window.Hidden
                sourceComponent: cardsComponent
            }
        }
    }

    Component {
        id: cardsComponent

        Item {
            implicitHeight: cards.implicitHeight + 2 * Theme.padding

            ColumnLayout {
                id: cards
                objectName: "cards"
                readonly property var given: m.measured
                x: Theme.padding
                y: Theme.padding
                width: parent.width - 2 * Theme.padding
                spacing: 12

                readonly property QtObject m: root.monitor

                Card {
                    objectName: "cpuCard"
                    area: "CPU"
                    onActivated: area => root.shell.toggleDetails(area)

                    SectionHeader {
                        title: "CPU"
                        rightText: "Click for details"
                    }
                    MiniBarChart {
                        objectName: "cpuChart"
                        Layout.fillWidth: true
                        Layout.preferredHeight: 50
                        Layout.topMargin: 8
                        Layout.bottomMargin: 8
                        values: cards.m.cpuHistory
                        color: Theme.blue
                        topColor: Theme.purple
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        CircleLegend {
                            objectName: "cpuUser"
                            color: Theme.blue
                            text: "User " + Format.percent(cards.m.cpuUser)
                            font.pixelSize: Theme.captionSize
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        CircleLegend {
                            objectName: "cpuSystem"
                            color: Theme.pink
                            text: "System " + Format.percent(cards.m.cpuSystem)
                            font.pixelSize: Theme.captionSize
                        }
                    }
                    ColumnLayout {
                        objectName: "cpuProcesses"
                        readonly property var rows: Format.cpuProcessRows(cards.m.topCPUProcesses, 3)
                        visible: rows.length > 0
                        Layout.fillWidth: true
                        Layout.topMargin: 8
                        spacing: 4
                        Repeater {
                            model: parent.rows
                            ListRow {
                                required property var modelData
                                symbol: "app.fill"
                                verticalPadding: 2
                                name: modelData.name
                                value: modelData.value
                            }
                        }
                    }
                }

                Card {
                    objectName: "gpuCard"
                    area: "GPU"
                    onActivated: area => root.shell.toggleDetails(area)

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
                        values: cards.m.gpuHistory
                        color: Theme.purple
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 16
                        Figure {
                            objectName: "gpuDevice"
                            text: cards.given.gpuUsage ? Format.percent(cards.m.gpuUsage) : Format.missing
                            size: Theme.title2Size
                            color: Theme.purple
                            caption: "Device"
                            captionSize: Theme.caption2Size
                        }
                        Figure {
                            objectName: "gpuRenderer"
                            text: cards.given.gpuRendererUtil ? Format.percent(cards.m.gpuRendererUtil) : Format.missing
                            color: Theme.pink
                            caption: "Render"
                            captionSize: Theme.caption2Size
                        }
                        Figure {
                            objectName: "gpuTiler"
                            text: cards.given.gpuTilerUtil ? Format.percent(cards.m.gpuTilerUtil) : Format.missing
                            color: Theme.cyan
                            caption: "Tiler"
                            captionSize: Theme.caption2Size
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        Figure {
                            objectName: "gpuVram"
                            visible: cards.m.gpuMemoryUsed > 0
                            alignment: Qt.AlignRight
                            text: Format.bytes(cards.m.gpuMemoryUsed)
                            size: Theme.calloutSize
                            caption: "VRAM"
                            captionSize: Theme.caption2Size
                        }
                    }
                }

                Card {
                    id: memoryCard
                    objectName: "memoryCard"
                    area: "Memory"
                    onActivated: area => root.shell.toggleDetails(area)

                    readonly property real usedShare: cards.m.memoryTotal > 0 ? cards.m.memoryUsed / cards.m.memoryTotal : 0

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
                            fraction: cards.m.memoryPressure
                            color: Theme.blue
                            Figure {
                                objectName: "pressure"
                                alignment: Qt.AlignHCenter
                                text: Format.percent(cards.m.memoryPressure)
                                size: Theme.title2Size
                                caption: "PRESSURE"
                                captionSize: Theme.caption2Size
                            }
                        }
                        Ring {
                            objectName: "usageRing"
                            fraction: memoryCard.usedShare
                            color: Theme.yellow
                            Figure {
                                objectName: "usage"
                                alignment: Qt.AlignHCenter
                                text: Format.percent(memoryCard.usedShare)
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
                        value: Format.bytes(cards.m.memoryUsed)
                    }
                    ListRow {
                        objectName: "memoryFree"
                        verticalPadding: 1
                        dotColor: Theme.pink
                        name: "Free"
                        value: Format.bytes(cards.m.memoryTotal - cards.m.memoryUsed)
                    }
                }

                Card {
                    objectName: "networkCard"
                    area: "Network"
                    onActivated: area => root.shell.toggleDetails(area)

                    RowLayout {
                        Layout.fillWidth: true
                        Figure {
                            objectName: "upload"
                            text: cards.m.uploadSpeed
                            caption: "Upload"
                            captionColor: Theme.pink
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        Figure {
                            objectName: "download"
                            alignment: Qt.AlignRight
                            text: cards.m.downloadSpeed
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
                        up: cards.m.downloadHistory
                        down: cards.m.uploadHistory
                        upColor: Theme.blue
                        downColor: Theme.pink
                    }
                }

                Card {
                    objectName: "diskCard"
                    area: "Disk"
                    onActivated: area => root.shell.toggleDetails(area)

                    RowLayout {
                        Layout.fillWidth: true
                        Figure {
                            objectName: "diskRead"
                            text: Format.bytes(cards.m.diskReadBytesPerSec) + "/s"
                            caption: "Read"
                            captionColor: Theme.green
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        Figure {
                            objectName: "diskWrite"
                            alignment: Qt.AlignRight
                            text: Format.bytes(cards.m.diskWriteBytesPerSec) + "/s"
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
                        up: cards.m.diskReadHistory
                        down: cards.m.diskWriteHistory
                        upColor: Theme.green
                        downColor: Theme.orange
                    }
                }

                Card {
                    objectName: "batteryCard"
                    area: "Battery"
                    onActivated: area => root.shell.toggleDetails(area)

                    SectionHeader {
                        objectName: "batteryHeader"
                        title: "BATTERY"
                        rightText: cards.m.isCharging && cards.m.batteryTimeToFull !== "" ? cards.m.batteryTimeToFull : cards.given.timeRemaining ? cards.m.timeRemaining : Format.missing
                    }
                    RowLayout {
                        Layout.alignment: Qt.AlignHCenter
                        Layout.topMargin: Theme.padding
                        Layout.bottomMargin: Theme.padding
                        spacing: 16
                        Ring {
                            objectName: "batteryRing"
                            size: 80
                            fraction: cards.m.batteryLevel
                            color: cards.m.isCharging ? Theme.green : Theme.blue
                            Text {
                                objectName: "batteryLevel"
                                Layout.alignment: Qt.AlignHCenter
                                text: cards.given.batteryLevel ? Format.percent(cards.m.batteryLevel) : Format.missing
                                color: "white"
                                font.pixelSize: Theme.title2Size
                                font.weight: Font.Bold
                            }
                            Text {
                                objectName: "chargingBolt"
                                visible: cards.m.isCharging
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
                                readonly property bool drawing: cards.m.batteryDrawWatts > 0
                                visible: drawing || cards.m.batteryChargeWatts > 0
                                symbol: drawing ? "bolt.slash" : "bolt.fill"
                                color: drawing ? Theme.orange : Theme.green
                                bold: true
                                text: drawing ? Format.fixed(cards.m.batteryDrawWatts, 1, " W from battery") : Format.fixed(cards.m.batteryChargeWatts, 1, " W to battery")
                            }
                            // An adapter whose rating is not known is still plugged in; a
                            // machine that says nothing of its power has no line of its own.
                            StatusLine {
                                objectName: "adapter"
                                readonly property bool plugged: cards.m.adapterWatts > 0
                                readonly property bool known: cards.given.batteryACConnected === true
                                readonly property bool connected: plugged || (known && cards.m.batteryACConnected)
                                symbol: connected ? "powerplug.fill" : "battery.75"
                                symbolColor: plugged ? Theme.blue : Theme.secondaryText
                                text: plugged ? cards.m.adapterWatts + " W adapter" : connected ? Format.missing + " W adapter" : known ? "No AC adapter" : Format.missing
                            }
                            StatusLine {
                                objectName: "cycles"
                                visible: cards.m.batteryCycleCount > 0
                                symbol: "arrow.circlepath"
                                text: cards.m.batteryCycleCount + " cycles"
                            }
                        }
                    }
                }

                Card {
                    id: sensorCard
                    objectName: sensorList ? "sensorsCard" : "thermalCard"
                    area: "Sensors"
                    spacing: 8
                    onActivated: area => root.shell.toggleDetails(area)

                    readonly property var sensorRows: Format.sensorRows(cards.m.sensors)
                    readonly property bool sensorList: sensorRows.length > 0

                    SectionHeader {
                        title: sensorCard.sensorList ? "SENSORS" : "THERMAL"
                        rightText: sensorCard.sensorList ? "Click for details" : cards.m.thermalState
                    }
                    Repeater {
                        model: sensorCard.sensorRows
                        ListRow {
                            required property var modelData
                            marker: true
                            name: modelData.label
                            value: modelData.temp
                        }
                    }
                    RowLayout {
                        visible: !sensorCard.sensorList
                        Layout.fillWidth: true
                        Text {
                            text: "Status"
                            color: "white"
                            font.pixelSize: Theme.bodySize
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        Text {
                            objectName: "thermalState"
                            text: cards.m.thermalState
                            font.pixelSize: Theme.bodySize
                            font.weight: Font.Bold
                            color: text === "Nominal" ? Theme.green : text === "Critical" ? Theme.red : Theme.yellow
                        }
                    }
                }
            }
        }
    }
}
