#include "views/Theme.h"

#include "views/Symbols.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>

namespace orb {

QColor systemColor(SystemColor color) {
    switch (color) {
    case SystemColor::pink:
        return QColor(255, 55, 95);
    case SystemColor::red:
        return QColor(255, 69, 58);
    case SystemColor::blue:
        return QColor(10, 132, 255);
    case SystemColor::green:
        return QColor(48, 209, 88);
    case SystemColor::yellow:
        return QColor(255, 214, 10);
    case SystemColor::orange:
        return QColor(255, 159, 10);
    case SystemColor::purple:
        return QColor(191, 90, 242);
    case SystemColor::teal:
        return QColor(64, 200, 224);
    case SystemColor::indigo:
        return QColor(94, 92, 230);
    case SystemColor::gray:
        return QColor(142, 142, 147);
    }
    return QColor(10, 132, 255);
}

QColor ringColor(const QString& name) {
    // Exact, case-sensitive names, tested in this order.
    static const std::pair<const char*, SystemColor> table[] = {
        {"pink", SystemColor::pink},     {"red", SystemColor::red},
        {"blue", SystemColor::blue},     {"green", SystemColor::green},
        {"yellow", SystemColor::yellow}, {"orange", SystemColor::orange},
        {"purple", SystemColor::purple},
    };
    for (const auto& [colorName, color] : table) {
        if (name == QLatin1String(colorName))
            return systemColor(color);
    }
    if (name == QLatin1String("cyan"))
        return plainCyan();
    return systemColor(SystemColor::blue);
}

PanelShade panelShade(const PanelColors& colors) {
    if (colors.trayText && colors.trayText->isValid())
        return colors.trayText->lightnessF() > 0.5 ? PanelShade::dark : PanelShade::light;
    if (colors.background && colors.background->isValid())
        return colors.background->lightnessF() > 0.5 ? PanelShade::light : PanelShade::dark;
    // A palette without contrast says nothing; tray panels are more often dark.
    if (colors.paletteText.lightnessF() == colors.paletteWindow.lightnessF())
        return PanelShade::dark;
    return colors.paletteText.lightnessF() > colors.paletteWindow.lightnessF() ? PanelShade::dark
                                                                               : PanelShade::light;
}

QColor panelTextColor(const PanelColors& colors) {
    if (colors.trayText && colors.trayText->isValid())
        return *colors.trayText;
    const bool darkPanel = panelShade(colors) == PanelShade::dark;
    if ((colors.paletteText.lightnessF() > 0.5) == darkPanel)
        return colors.paletteText;
    return darkPanel ? QColor(Qt::white) : QColor(Qt::black);
}

QColor ringTrackColor(PanelShade shade) {
    QColor track(shade == PanelShade::dark ? Qt::white : Qt::black);
    track.setAlphaF(0.2f);
    return track;
}

QString Theme::symbolFont() const {
    return symbolFontFamily();
}

QString Theme::digitFont() const {
    static const QString family = [] {
        const QFont font = QGuiApplication::font();
        const QFontMetricsF metrics(font);
        const qreal width = metrics.horizontalAdvance(u'0');
        for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
            if (metrics.horizontalAdvance(QChar(digit)) != width)
                return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
        }
        return font.family();
    }();
    return family;
}

QString Theme::symbol(const QString& name) const {
    return symbolGlyph(name);
}

} // namespace orb
