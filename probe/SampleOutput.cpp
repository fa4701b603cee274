#include "probe/SampleOutput.h"

#include "monitor/SystemMonitor.h"
#include "probe/AtomicFile.h"
#include "probe/ProbePrinter.h"

#include <QJsonDocument>
#include <cstdio>

namespace orb::probe {

SampleOutput::SampleOutput(const SystemMonitor& monitor, const ProbeOptions& options)
    : monitor_(monitor), options_(options), out_(stdout) {
    if (options.format == SampleFormat::Prometheus)
        exposition_ = std::make_unique<PrometheusExposition>(monitor);
}

QString SampleOutput::sample() const {
    switch (options_.format) {
    case SampleFormat::Json:
        return QString::fromUtf8(
                   QJsonDocument(fieldsAsJson(monitor_)).toJson(QJsonDocument::Compact)) +
               '\n';
    case SampleFormat::Prometheus:
        return exposition_->text();
    case SampleFormat::Text:
        break;
    }
    return fieldsAsText(monitor_);
}

bool SampleOutput::write() {
    if (options_.outputPath.empty()) {
        // Text and exposition samples are blocks of lines: a blank line parts them.
        out_ << sample()
             << (options_.watching && options_.format != SampleFormat::Json ? "\n" : "");
        out_.flush();
        return true;
    }
    const std::string error = replaceFile(options_.outputPath, sample().toStdString());
    if (!error.empty() && error != lastError_)
        std::fprintf(stderr, "orbimeter-probe: %s\n", error.c_str());
    lastError_ = error;
    return error.empty();
}

} // namespace orb::probe
