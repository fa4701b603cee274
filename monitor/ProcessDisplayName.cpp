#include "monitor/ProcessDisplayName.h"

#include <array>

namespace orb {

QString processDisplayName(const QString& name) {
    struct Rule {
        QLatin1StringView contains;
        QLatin1StringView butNot;
        QLatin1StringView result;
    };
    // First match wins; the tests are on the lower-cased name.
    static constexpr std::array rules{
        Rule{QLatin1StringView("google chrome"), {}, QLatin1StringView("Google Chrome")},
        Rule{QLatin1StringView("safari"), QLatin1StringView("preview"),
             QLatin1StringView("Safari")},
        Rule{QLatin1StringView("slack"), {}, QLatin1StringView("Slack")},
        Rule{QLatin1StringView("firefox"), {}, QLatin1StringView("Firefox")},
        Rule{QLatin1StringView("brave browser"), {}, QLatin1StringView("Brave Browser")},
        Rule{QLatin1StringView("windowserver"), {}, QLatin1StringView("WindowServer")},
        Rule{QLatin1StringView("kernel_task"), {}, QLatin1StringView("kernel_task")},
        Rule{QLatin1StringView("mds"), {}, QLatin1StringView("Spotlight")},
        Rule{QLatin1StringView("mdworker"), {}, QLatin1StringView("Spotlight")},
        Rule{QLatin1StringView("imagent"), {}, QLatin1StringView("Messages")},
        Rule{QLatin1StringView("microsoft teams"), {}, QLatin1StringView("Microsoft Teams")},
    };
    const QString lower = name.toLower();
    for (const Rule& rule : rules) {
        if (lower.contains(rule.contains) &&
            (rule.butNot.isEmpty() || !lower.contains(rule.butNot)))
            return rule.result;
    }
    // Auxiliary processes join the application they belong to, in this order, so that
    // "Editor Helper (Renderer)" becomes "Editor".
    static constexpr std::array suffixes{
        QLatin1StringView(" Helper"), QLatin1StringView(" (Renderer)"), QLatin1StringView(" (GPU)"),
        QLatin1StringView(" Web Content"), QLatin1StringView(" (Plugin)")};
    QString grouped = name;
    for (auto suffix : suffixes)
        grouped.remove(suffix, Qt::CaseSensitive);
    return grouped;
}

} // namespace orb
