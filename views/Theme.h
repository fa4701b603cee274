#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace orb {

// The colours and text styles of the whole interface, in one place. Colours are the dark
// appearance of the desktop palette the product was designed with.
enum class SystemColor { pink, red, blue, green, yellow, orange, purple, teal, indigo, gray };

QColor systemColor(SystemColor color);

// Plain cyan: the fixed colour, not a palette colour.
inline QColor plainCyan() {
    return QColor::fromRgbF(0, 1, 1);
}

// The colour that strokes a ring for a stored colour name; unknown names draw in blue.
QColor ringColor(const QString& name);

// What is known of the colours of the panel that holds the tray item: the text colour the tray
// publishes for its icons, the colour seen behind the item, and the application palette.
struct PanelColors {
    std::optional<QColor> trayText;
    std::optional<QColor> background;
    QColor paletteText{Qt::black};
    QColor paletteWindow{Qt::white};
};

// Whether the panel is light or dark: from the tray's text colour (light text, dark panel) when
// it publishes one, else from the colour behind the item, else from the palette.
enum class PanelShade { dark, light };
PanelShade panelShade(const PanelColors& colors);

// The colour of the symbol and the number: the tray's own text colour, else the palette's text
// colour when it stands out on the panel, else black on light panels and white on dark ones.
QColor panelTextColor(const PanelColors& colors);

// The faint full circle under each ring's value: white at 20 % on a dark panel, black at 20 %
// on a light one, so it shows on both.
QColor ringTrackColor(PanelShade shade);

// Background of the popover and the detail windows: sRGB (0.1, 0.1, 0.2).
inline QColor windowBackground() {
    return QColor::fromRgbF(0.1f, 0.1f, 0.2f);
}

// Text styles, sizes in device-independent pixels.
struct TextStyle {
    int pixelSize;
    int weight; // QFont::Weight
};
namespace text_style {
inline constexpr TextStyle headline{13, 600};
inline constexpr TextStyle subheadline{11, 400};
inline constexpr TextStyle title2{17, 400};
inline constexpr TextStyle title3{15, 400};
inline constexpr TextStyle body{13, 400};
inline constexpr TextStyle callout{12, 400};
inline constexpr TextStyle caption{10, 400};
inline constexpr TextStyle caption2{10, 400};
} // namespace text_style

// The toolkit's standard inset around a padded block and gap between siblings in a row.
inline constexpr int defaultPadding = 16;
inline constexpr int defaultSpacing = 8;

// The same table for QML, as the `Theme` singleton.
class Theme : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QColor pink READ pink CONSTANT)
    Q_PROPERTY(QColor red READ red CONSTANT)
    Q_PROPERTY(QColor blue READ blue CONSTANT)
    Q_PROPERTY(QColor green READ green CONSTANT)
    Q_PROPERTY(QColor yellow READ yellow CONSTANT)
    Q_PROPERTY(QColor orange READ orange CONSTANT)
    Q_PROPERTY(QColor purple READ purple CONSTANT)
    Q_PROPERTY(QColor teal READ teal CONSTANT)
    Q_PROPERTY(QColor indigo READ indigo CONSTANT)
    Q_PROPERTY(QColor gray READ gray CONSTANT)
    Q_PROPERTY(QColor cyan READ cyan CONSTANT)
    Q_PROPERTY(QColor background READ background CONSTANT)
    Q_PROPERTY(QColor primaryText READ primaryText CONSTANT)
    Q_PROPERTY(QColor secondaryText READ secondaryText CONSTANT)
    Q_PROPERTY(int headlineSize READ headlineSize CONSTANT)
    Q_PROPERTY(int subheadlineSize READ subheadlineSize CONSTANT)
    Q_PROPERTY(int title2Size READ title2Size CONSTANT)
    Q_PROPERTY(int title3Size READ title3Size CONSTANT)
    Q_PROPERTY(int bodySize READ bodySize CONSTANT)
    Q_PROPERTY(int calloutSize READ calloutSize CONSTANT)
    Q_PROPERTY(int captionSize READ captionSize CONSTANT)
    Q_PROPERTY(int caption2Size READ caption2Size CONSTANT)
    Q_PROPERTY(QString symbolFont READ symbolFont CONSTANT)
    Q_PROPERTY(QString digitFont READ digitFont CONSTANT)
    Q_PROPERTY(int padding READ padding CONSTANT)
    Q_PROPERTY(int spacing READ spacing CONSTANT)

public:
    explicit Theme(QObject* parent = nullptr) : QObject(parent) {}

    QColor pink() const { return systemColor(SystemColor::pink); }
    QColor red() const { return systemColor(SystemColor::red); }
    QColor blue() const { return systemColor(SystemColor::blue); }
    QColor green() const { return systemColor(SystemColor::green); }
    QColor yellow() const { return systemColor(SystemColor::yellow); }
    QColor orange() const { return systemColor(SystemColor::orange); }
    QColor purple() const { return systemColor(SystemColor::purple); }
    QColor teal() const { return systemColor(SystemColor::teal); }
    QColor indigo() const { return systemColor(SystemColor::indigo); }
    QColor gray() const { return systemColor(SystemColor::gray); }
    QColor cyan() const { return plainCyan(); }
    QColor background() const { return windowBackground(); }
    QColor primaryText() const { return Qt::white; }
    QColor secondaryText() const { return QColor::fromRgbF(0.92f, 0.92f, 0.96f, 0.6f); }
    int headlineSize() const { return text_style::headline.pixelSize; }
    int subheadlineSize() const { return text_style::subheadline.pixelSize; }
    int title2Size() const { return text_style::title2.pixelSize; }
    int title3Size() const { return text_style::title3.pixelSize; }
    int bodySize() const { return text_style::body.pixelSize; }
    int calloutSize() const { return text_style::callout.pixelSize; }
    int captionSize() const { return text_style::caption.pixelSize; }
    int caption2Size() const { return text_style::caption2.pixelSize; }
    QString symbolFont() const;
    // A family whose digits all have one width, for values that change every second: the
    // interface font when its digits are already tabular, else the fixed-pitch system font.
    QString digitFont() const;
    int padding() const { return defaultPadding; }
    int spacing() const { return defaultSpacing; }

    // The glyph for a symbol name, for QML Text items set in `symbolFont`.
    Q_INVOKABLE QString symbol(const QString& name) const;
};

} // namespace orb
