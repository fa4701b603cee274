import QtQuick
import QtQuick.Layouts

// A legend entry: a dot in the series' colour and its text, in the surrounding font and colour.
RowLayout {
    id: legend

    required property color color
    required property string text
    // What the surroundings set; a row of legends passes its own.
    property font font
    property color textColor: "white"

    spacing: 4

    Rectangle {
        implicitWidth: 8
        implicitHeight: 8
        radius: 4
        color: legend.color
    }
    Text {
        text: legend.text
        font: legend.font
        color: legend.textColor
    }
}
