#include "probe/Exposition.h"

#include <charconv>
#include <cmath>

namespace orb::probe {

namespace {

// Help text escapes backslash and line feed only; a double quote stays as it is.
QString escapeHelp(const char* help) {
    QString text = QString::fromUtf8(help);
    text.replace('\\', QLatin1StringView("\\\\"));
    text.replace('\n', QLatin1StringView("\\n"));
    return text;
}

// The shortest text that reads back as the same double, as the format's parsers expect.
void appendValue(QString& text, double value) {
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text += QLatin1StringView(digits, end - digits);
}

} // namespace

QString escapeLabelValue(const QString& value) {
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        if (c == '\\')
            escaped += QLatin1StringView("\\\\");
        else if (c == '"')
            escaped += QLatin1StringView("\\\"");
        else if (c == '\n')
            escaped += QLatin1StringView("\\n");
        else
            escaped += c;
    }
    return escaped;
}

void Exposition::family(const char* name, const char* type, const char* help) {
    name_ = name;
    type_ = type;
    help_ = help;
    headerWritten_ = false;
}

void Exposition::sample(double value, std::initializer_list<Label> labels) {
    if (!name_ || !std::isfinite(value))
        return;
    const auto name = QLatin1StringView(name_);
    if (!headerWritten_) {
        text_ += QLatin1StringView("# HELP ");
        text_ += name;
        text_ += ' ';
        text_ += escapeHelp(help_);
        text_ += QLatin1StringView("\n# TYPE ");
        text_ += name;
        text_ += ' ';
        text_ += QLatin1StringView(type_);
        text_ += '\n';
        headerWritten_ = true;
    }
    text_ += name;
    if (labels.size() > 0) {
        text_ += '{';
        bool first = true;
        for (const Label& label : labels) {
            if (!first)
                text_ += ',';
            first = false;
            text_ += QLatin1StringView(label.name);
            text_ += QLatin1StringView("=\"");
            text_ += escapeLabelValue(label.value);
            text_ += '"';
        }
        text_ += '}';
    }
    text_ += ' ';
    appendValue(text_, value);
    text_ += '\n';
}

} // namespace orb::probe
