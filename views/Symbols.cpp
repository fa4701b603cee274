#include "views/Symbols.h"

#include <QHash>

namespace orb {

QString symbolFontFamily() {
    return QStringLiteral("Material Icons");
}

QString symbolGlyph(const QString& name) {
    // Symbol name -> Material Icons code point, chosen for the closest meaning.
    static const QHash<QString, char32_t> glyphs = {
        {"cpu", 0xe30d},                               // developer_board
        {"cpu.fill", 0xe30d},                          // developer_board
        {"memorychip", 0xe322},                        // memory
        {"thermometer", 0xe1ff},                       // device_thermostat
        {"thermometer.sun", 0xf076},                   // thermostat
        {"exclamationmark.triangle", 0xe002},          // warning
        {"network", 0xe640},                           // network_check
        {"arrow.up.circle", 0xf182},                   // arrow_circle_up
        {"arrow.up.circle.fill", 0xf09b},              // upload
        {"arrow.down.circle", 0xf181},                 // arrow_circle_down
        {"fan", 0xe332},                               // toys (a fan)
        {"battery.75", 0xebd4},                        // battery_5_bar
        {"battery.100.circle", 0xe1a4},                // battery_full
        {"heart.fill", 0xe87d},                        // favorite
        {"checkmark.shield", 0xe8e8},                  // verified_user
        {"bolt.slash", 0xe3e6},                        // flash_off
        {"bolt.fill", 0xea0b},                         // bolt
        {"bolt.circle", 0xe932},                       // offline_bolt
        {"bolt.circle.fill", 0xe932},                  // offline_bolt
        {"powerplug", 0xe63c},                         // power (a plug)
        {"powerplug.fill", 0xf102},                    // electrical_services
        {"gauge.with.dots.needle.67percent", 0xe9e4},  // speed
        {"waveform", 0xe1b8},                          // graphic_eq
        {"arrow.circlepath", 0xe863},                  // autorenew
        {"clock", 0xe8b5},                             // schedule
        {"clock.arrow.2.circlepath", 0xe923},          // update
        {"lock.fill", 0xe897},                         // lock
        {"archivebox", 0xe149},                        // archive
        {"internaldrive", 0xe1db},                     // storage
        {"internaldrive.fill", 0xe1c2},                // sd_storage
        {"chart.bar", 0xe26b},                         // bar_chart
        {"square.stack", 0xe53b},                      // layers
        {"wifi", 0xe63e},                              // wifi
        {"wifi.router", 0xe328},                       // router
        {"antenna.radiowaves.left.and.right", 0xebba}, // cell_tower
        {"gearshape.fill", 0xe8b8},                    // settings
        {"power", 0xe8ac},                             // power_settings_new
        {"app.fill", 0xe047},                          // stop (a filled square)
        {"paintbrush", 0xe3ae},                        // brush
        {"square.grid.3x3", 0xe3ec},                   // grid_on
        {"memorychip.fill", 0xe322},                   // memory
        {"battery.100", 0xe1a4},                       // battery_full
        {"battery.100.circle.fill", 0xe1a4},           // battery_full
        {"cable.connector", 0xefe6},                   // cable
    };
    auto it = glyphs.constFind(name);
    if (it == glyphs.constEnd())
        return {};
    const char32_t codePoint = it.value();
    return QString::fromUcs4(&codePoint, 1);
}

} // namespace orb
