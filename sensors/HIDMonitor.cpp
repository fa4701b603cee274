#include "sensors/HIDMonitor.h"

#include <QString>
#include <algorithm>
#include <cctype>
#include <charconv>

namespace orb {

using namespace platform;

namespace {

// Takes the resolved function when it has the expected shape; anything else counts as missing.
template <typename Function>
void lookUp(HidFunctionResolver& resolver, std::string_view name, Function& into) {
    HidFunction found = resolver.resolve(name);
    if (auto* function = std::get_if<Function>(&found))
        into = std::move(*function);
}

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// A whole decimal integer: an optional sign, then digits only, within 64 bits.
std::optional<std::int64_t> wholeInteger(std::string_view text) {
    const bool signed_ = !text.empty() && (text.front() == '+' || text.front() == '-');
    const std::string_view digits = text.substr(signed_ ? 1 : 0);
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    // from_chars reads a minus sign but not a plus sign.
    const std::string_view number = text.front() == '+' ? digits : text;
    std::int64_t value = 0;
    if (std::from_chars(number.data(), number.data() + number.size(), value).ec != std::errc())
        return std::nullopt; // out of range
    return value;
}

// The die sensors of the power manager: "PMU tdie" with the die's number.
std::string dieLabel(std::string_view product) {
    static constexpr std::string_view marker = "PMU tdie";
    std::string rest(product);
    for (auto at = rest.find(marker); at != std::string::npos; at = rest.find(marker, at))
        rest.erase(at, marker.size());
    if (auto die = wholeInteger(rest))
        return "Die " + std::to_string(*die);
    return "CPU/GPU Die";
}

std::string withFirstLetterRaised(std::string_view text) {
    if (text.empty())
        return {};
    const QString whole = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const qsizetype firstLength = whole.front().isHighSurrogate() && whole.size() > 1 ? 2 : 1;
    return (whole.left(firstLength).toUpper() + whole.mid(firstLength)).toStdString();
}

} // namespace

HIDMonitor::HIDMonitor(HidFunctionResolver* resolver) {
    if (!resolver)
        return;
    lookUp(*resolver, hid_symbols::clientCreate, clientCreate);
    lookUp(*resolver, hid_symbols::clientSetMatching, clientSetMatching);
    lookUp(*resolver, hid_symbols::clientCopyServices, clientCopyServices);
    lookUp(*resolver, hid_symbols::serviceCopyProperty, serviceGetProperty);
    lookUp(*resolver, hid_symbols::serviceCopyEvent, serviceCopyEvent);
    lookUp(*resolver, hid_symbols::eventGetFloatValue, eventGetFloatValue);

    if (!clientCreate)
        return;
    client = clientCreate(defaultHidAllocator);
    if (!client)
        return;
    if (clientSetMatching)
        clientSetMatching(
            client,
            PropertyTable{{std::string(hid_temperature::usagePageKey), hid_temperature::usagePage},
                          {std::string(hid_temperature::usageKey), hid_temperature::usage}});
}

std::map<std::string, double> HIDMonitor::readTemperatures() {
    std::map<std::string, double> temperatures;
    if (!client || !clientCopyServices || !serviceGetProperty || !serviceCopyEvent ||
        !eventGetFloatValue)
        return temperatures;
    const auto services = clientCopyServices(client);
    if (!services)
        return temperatures;

    for (const HidService& service : *services) {
        if (!service)
            continue;
        const auto product = serviceGetProperty(service, hid_temperature::productKey);
        const std::string* name = product ? product->string() : nullptr;
        if (!name)
            continue;
        const HidEvent event = serviceCopyEvent(service, hid_temperature::eventType, 0, 0);
        if (!event)
            continue;
        const double celsius = eventGetFloatValue(event, hid_temperature::levelField);
        if (!(celsius > 0 && celsius < 150))
            continue;
        auto [entry, added] = temperatures.try_emplace(classify(*name), celsius);
        if (!added)
            entry->second = std::max(entry->second, celsius);
    }
    return temperatures;
}

std::string HIDMonitor::classify(std::string_view productName) {
    const std::string_view p = trimBlanks(productName);
    const std::string l = lowerCase(p);
    const auto has = [&l](std::string_view part) { return l.find(part) != std::string::npos; };

    if (p.starts_with("PMU tdie"))
        return dieLabel(p);
    if (has("pacc"))
        return "CPU P-Cluster";
    if (has("eacc"))
        return "CPU E-Cluster";
    if (has("gpu"))
        return "GPU Die";
    if (p == "gas gauge battery" || has("gas gauge"))
        return "Battery";
    if (p.find("NAND") != std::string_view::npos || has("nand"))
        return "SSD";
    if (has("ane"))
        return "Neural Engine";
    if (has("isp"))
        return "ISP";
    if (has("charger"))
        return "Charger";
    if (has("pmu"))
        return "PMU";
    return withFirstLetterRaised(p);
}

} // namespace orb
