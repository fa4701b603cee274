#pragma once

#include <QString>
#include <initializer_list>

namespace orb::probe {

// One label of a sample: a fixed name and a free text value.
struct Label {
    const char* name;
    QString value;
};

// Builds a document in the Prometheus text exposition format, version 0.0.4: each family's
// HELP and TYPE lines, then its samples. A family's header is written with its first sample, so
// a family whose readings are all absent leaves no trace.
class Exposition {
public:
    // Starts a family: `name` must be a valid metric name, `type` "gauge" or "counter".
    void family(const char* name, const char* type, const char* help);
    void gauge(const char* name, const char* help) { family(name, "gauge", help); }
    void counter(const char* name, const char* help) { family(name, "counter", help); }

    // A sample of the current family. Values that are not finite are readings the machine did
    // not give, and are left out.
    void sample(double value, std::initializer_list<Label> labels = {});

    const QString& text() const { return text_; }

private:
    QString text_;
    const char* name_ = nullptr;
    const char* type_ = nullptr;
    const char* help_ = nullptr;
    bool headerWritten_ = false;
};

// A label value as the format quotes it: backslash, double quote and line feed escaped.
QString escapeLabelValue(const QString& value);

} // namespace orb::probe
