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
                x: Theme.padding
                y: Theme.padding
                width: parent.width - 2 * Theme.padding
                spacing: 12

                readonly property QtObject m: root.monitor

                CpuCard {
                    monitor: cards.m
                    onActivated: area => root.shell.toggleDetails(area)
                }

                GpuCard {
                    monitor: cards.m
                    onActivated: area => root.shell.toggleDetails(area)
                }

                MemoryCard {
                    monitor: cards.m
                    onActivated: area => root.shell.toggleDetails(area)
                }

                NetworkCard {
                    monitor: cards.m
                    onActivated: area => root.shell.toggleDetails(area)
                }

                DiskCard {
                    monitor: cards.m
                    onActivated: area => root.shell.toggleDetails(area)
                }

                BatteryCard {
                    monitor: cards.m
                    onActivated: area => root.shell.toggleDetails(area)
                }

                SensorCard {
                    monitor: cards.m
                    onActivated: area => root.shell.toggleDetails(area)
                }
            }
        }
    }
}
