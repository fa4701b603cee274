import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orbimeter.Views

// The settings form: every control edits the preferences directly, so each change is stored
// and shown in the tray at once.
Pane {
    id: root

    required property QtObject prefs

    readonly property var colors: prefs.colors

    function capitalised(name) {
        return name.charAt(0).toUpperCase() + name.slice(1);
    }

    implicitWidth: 340
    implicitHeight: 480
    padding: 16

    component SectionHeader: Label {
        font.pixelSize: Theme.captionSize + 1
        font.weight: Font.DemiBold
        opacity: 0.7
        Layout.topMargin: 10
    }
    component PickerRow: RowLayout {
        id: row
        property alias label: rowLabel.text
        property alias model: picker.model
        property alias currentIndex: picker.currentIndex
        property alias picker: picker
        signal picked(int index)
        Layout.fillWidth: true
        Label {
            id: rowLabel
            Layout.fillWidth: true
        }
        ComboBox {
            id: picker
            Layout.preferredWidth: 180
            onActivated: index => row.picked(index)
            // A long list shows that it scrolls, and opens at its top unless the chosen entry
            // lies further down: then just far enough to show it.
            popup.contentItem: ListView {
                id: entries
                objectName: "entries"
                clip: true
                implicitHeight: contentHeight
                model: picker.delegateModel
                currentIndex: picker.highlightedIndex
                highlightMoveDuration: 0
                ScrollBar.vertical: ScrollBar {
                    objectName: "entriesScrollBar"
                    policy: entries.contentHeight > entries.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
                }
            }
            Connections {
                target: picker.popup
                function onOpened() {
                    entries.positionViewAtBeginning();
                    entries.positionViewAtIndex(picker.currentIndex, ListView.Contain);
                }
            }
        }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 6

        SectionHeader {
            text: "General"
        }
        Switch {
            objectName: "launchAtLogin"
            // The style insets the switch; the labels below start at the form's edge.
            leftPadding: 0
            text: "Launch at Login"
            checked: root.prefs.launchAtLogin
            onToggled: root.prefs.launchAtLogin = checked
        }

        SectionHeader {
            text: "Outer Ring"
        }
        PickerRow {
            objectName: "outerRingMetric"
            label: "Metric"
            model: root.prefs.ringMetricNames
            currentIndex: root.prefs.ringMetricNames.indexOf(root.prefs.outerRingMetric)
            onPicked: index => root.prefs.outerRingMetric = root.prefs.ringMetricNames[index]
        }
        PickerRow {
            objectName: "outerRingColor"
            visible: root.prefs.outerRingMetric !== "None"
            label: "Color"
            model: root.colors.map(root.capitalised)
            currentIndex: root.colors.indexOf(root.prefs.outerRingColor)
            onPicked: index => root.prefs.outerRingColor = root.colors[index]
        }

        SectionHeader {
            text: "Inner Ring"
        }
        PickerRow {
            objectName: "innerRingMetric"
            label: "Metric"
            model: root.prefs.ringMetricNames
            currentIndex: root.prefs.ringMetricNames.indexOf(root.prefs.innerRingMetric)
            onPicked: index => root.prefs.innerRingMetric = root.prefs.ringMetricNames[index]
        }
        PickerRow {
            objectName: "innerRingColor"
            visible: root.prefs.innerRingMetric !== "None"
            label: "Color"
            model: root.colors.map(root.capitalised)
            currentIndex: root.colors.indexOf(root.prefs.innerRingColor)
            onPicked: index => root.prefs.innerRingColor = root.colors[index]
        }

        SectionHeader {
            text: "Number Display"
        }
        PickerRow {
            objectName: "numberMetric"
            label: "Metric"
            model: root.prefs.numberMetricNames
            currentIndex: root.prefs.numberMetricNames.indexOf(root.prefs.numberMetric)
            onPicked: index => root.prefs.numberMetric = root.prefs.numberMetricNames[index]
        }

        Item {
            Layout.fillHeight: true
        }
    }
}
