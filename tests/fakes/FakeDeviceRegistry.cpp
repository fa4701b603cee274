#include "fakes/FakeDeviceRegistry.h"

#include "platform/SmcKeyData.h"

#include <algorithm>
#include <functional>

namespace orb::testing {

using namespace platform;

namespace {

// Counts itself among its registry's unreleased objects while alive.
struct Tracked {
    explicit Tracked(int& unreleased) : count(unreleased) { ++count; }
    Tracked(const Tracked&) = delete;
    ~Tracked() { --count; }
    int& count;
};

struct FakeService final : RegistryService, Tracked {
    FakeService(int& unreleased, RegistryEntryId id, std::optional<PropertyTable> properties)
        : Tracked(unreleased), id(id), table(std::move(properties)) {}
    RegistryEntryId entryId() const override { return id; }
    std::optional<PropertyTable> properties() override { return table; }
    const RegistryEntryId id;
    const std::optional<PropertyTable> table;
};

struct FakeIterator final : ServiceIterator, Tracked {
    FakeIterator(int& unreleased, std::vector<std::unique_ptr<RegistryService>> services)
        : Tracked(unreleased), list(std::move(services)) {}
    std::unique_ptr<RegistryService> next() override { return list.next(); }
    ServiceList list;
};

struct FakeSmcClient final : UserClient {
    explicit FakeSmcClient(std::shared_ptr<FakeSmc> smc) : smc_(std::move(smc)) {}
    std::int32_t callScalarMethod(std::uint32_t selector) override {
        smc_->scalarCalls.push_back(selector);
        return selector == smc::openSelector ? smc_->openResult : 0;
    }
    std::int32_t callStructMethod(std::uint32_t selector, std::span<const std::uint8_t> input,
                                  std::span<std::uint8_t> output) override {
        if (selector != smc::recordSelector || input.size() != 80 || output.size() != 80)
            return -1;
        smc::KeyData record;
        std::ranges::copy(input, record.raw.begin());
        answer(record);
        std::ranges::copy(record.raw, output.begin());
        return 0;
    }
    void answer(smc::KeyData& record) {
        const auto command = static_cast<smc::Command>(record.command());
        if (command == smc::Command::keyAtIndex) {
            if (record.data32() >= smc_->enumeration.size())
                return record.setResult(smc::indexOutOfRange);
            return record.setKey(smc_->enumeration[record.data32()]);
        }
        if (const auto n = smc_->keyCount) // also sent in the record's 32-bit field
            smc_->keys["#KEY"] = {"ui32",
                                  {std::uint8_t(*n >> 24), std::uint8_t(*n >> 16),
                                   std::uint8_t(*n >> 8), std::uint8_t(*n)}};
        const auto key = smc_->keys.find(record.key());
        if (key == smc_->keys.end())
            return record.setResult(smc::keyNotFound);
        const auto& bytes = key->second.bytes;
        if (command == smc::Command::keyInfo) {
            record.setDataSize(static_cast<std::uint16_t>(bytes.size()));
            return record.setDataType(key->second.type);
        }
        if (record.dataSize() != bytes.size())
            return record.setResult(smc::badArgument);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            record.setByte(i, bytes[i]);
        if (smc_->keyCount && record.key() == "#KEY")
            record.setData32(*smc_->keyCount);
    }
    std::shared_ptr<FakeSmc> smc_;
};

} // namespace

void FakeSmc::temperature(const std::string& key, double celsius) {
    const auto bytes = smc::encodeSp78(celsius);
    keys[key] = {"sp78", {bytes[0], bytes[1]}};
}

void FakeSmc::fan(const std::string& key, double rpm) {
    const auto bytes = smc::encodeFpe2(rpm);
    keys[key] = {"fpe2", {bytes[0], bytes[1]}};
}

FakeSmc& FakeDeviceRegistry::addSmc() {
    services["AppleSMC"] = {PropertyTable{}};
    smc = std::make_shared<FakeSmc>();
    return *smc;
}

std::unique_ptr<UserClient> FakeDeviceRegistry::openUserClient(RegistryEntryId service,
                                                               std::uint32_t type) {
    if (!smc || type != 0 || !exists("AppleSMC", service))
        return nullptr;
    return std::make_unique<FakeSmcClient>(smc);
}

// Listed in its registry while alive; the list is shared, so a registration may outlive it.
class FakeDeviceRegistry::Registration final : public InterestNotification {
public:
    Registration(std::shared_ptr<std::vector<Registration*>> all, RegistryEntryId service,
                 InterestCallback callback)
        : service(service), callback(std::move(callback)), all_(std::move(all)) {
        all_->push_back(this);
    }
    ~Registration() override { std::erase(*all_, this); }

    const RegistryEntryId service;
    const InterestCallback callback;

private:
    std::shared_ptr<std::vector<Registration*>> all_;
};

RegistryEntryId FakeDeviceRegistry::identityOf(std::string_view className, std::size_t index) {
    return std::hash<std::string_view>{}(className)*31 + index + 1;
}

std::unique_ptr<ServiceIterator> FakeDeviceRegistry::matchingServices(std::string_view className) {
    if (matchFails)
        return nullptr;
    std::vector<std::unique_ptr<RegistryService>> found;
    if (auto it = services.find(className); it != services.end()) {
        for (std::size_t i = 0; i < it->second.size(); ++i)
            found.push_back(
                std::make_unique<FakeService>(unreleased, identityOf(className, i), it->second[i]));
    }
    return std::make_unique<FakeIterator>(unreleased, std::move(found));
}

bool FakeDeviceRegistry::exists(std::string_view className, RegistryEntryId service) const {
    const auto found = services.find(className);
    for (std::size_t i = 0; found != services.end() && i < found->second.size(); ++i) {
        if (identityOf(className, i) == service)
            return true;
    }
    return false;
}

std::unique_ptr<InterestNotification>
FakeDeviceRegistry::addInterestNotification(RegistryEntryId service, InterestCallback callback) {
    for (const auto& entry : services) {
        if (exists(entry.first, service))
            return std::make_unique<Registration>(registrations_, service, std::move(callback));
    }
    return nullptr;
}

int FakeDeviceRegistry::deliver(RegistryEntryId service, InterestMessage message) {
    // A callback may cancel registrations, its own included: each one registered when the
    // message came and still live when its turn comes receives it.
    int delivered = 0;
    for (auto* registration : std::vector(*registrations_)) {
        if (std::ranges::find(*registrations_, registration) == registrations_->end() ||
            registration->service != service)
            continue;
        auto callback = registration->callback;
        callback(message);
        ++delivered;
    }
    return delivered;
}

} // namespace orb::testing
