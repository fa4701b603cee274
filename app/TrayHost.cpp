#include "app/TrayHost.h"

namespace orb {

TrayHost trayHostOf(const QString& currentDesktop) {
    TrayHost host;
    for (const QString& desktop : currentDesktop.split(u':', Qt::SkipEmptyParts)) {
        auto is = [&](QStringView name) { return desktop.compare(name, Qt::CaseInsensitive) == 0; };
        if (is(u"GNOME") || is(u"Unity"))
            host.drawsLabel = true;
        if (is(u"GNOME") || is(u"sway"))
            host.shade = PanelShade::dark;
        if (is(u"XFCE"))
            host.newestFirst = true;
    }
    return host;
}

} // namespace orb
