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
                spacing: 0

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
            objectName: "cardScroller"
            Layout.fillWidth: true
            Layout.fillHeight: true
            ScrollBar.vertical.policy: ScrollBar.AsNeeded
            contentWidth: availableWidth

            ColumnLayout {
                objectName: "cards"
                width: parent.width
                spacing: 12
            }
        }
    }
}
