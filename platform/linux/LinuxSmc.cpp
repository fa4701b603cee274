#include "platform/linux/LinuxSmc.h"

#include "platform/SmcKeyData.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orb::platform {

namespace {

constexpr int maxKeysPerKind = 10; // one digit in the key

SmcKey temperatureKey(std::string name, const std::optional<double>& celsius) {
    SmcKey key{std::move(name), "sp78", {}, 2};
    if (celsius) {
        const auto bytes = smc::encodeSp78(*celsius);
        key.value.assign(bytes.begin(), bytes.end());
    }
    return key;
}

std::string numbered(const char* format, int n) {
    char name[8];
    std::snprintf(name, sizeof name, format, n);
    return name;
}

// Answers the key-data record from the key table.
class SmcUserClient final : public UserClient {
public:
    explicit SmcUserClient(std::shared_ptr<HwmonReader> reader) : reader_(std::move(reader)) {}

    std::int32_t callScalarMethod(std::uint32_t selector) override {
        return selector == smc::openSelector || selector == smc::closeSelector ? 0 : badSelector;
    }

    std::int32_t callStructMethod(std::uint32_t selector, std::span<const std::uint8_t> input,
                                  std::span<std::uint8_t> output) override {
        if (selector != smc::recordSelector)
            return badSelector;
        if (input.size() != smc::KeyData::size || output.size() < smc::KeyData::size)
            return badArgument;
        smc::KeyData record;
        std::copy(input.begin(), input.end(), record.raw.begin());
        answer(record);
        std::copy(record.raw.begin(), record.raw.end(), output.begin());
        return 0;
    }

private:
    // The call's own failure codes (not the record's result byte): an unsupported method and
    // a record of the wrong size, numbered as the controller's home platform numbers them.
    static constexpr std::int32_t badSelector = static_cast<std::int32_t>(0xE00002C7);
    static constexpr std::int32_t badArgument = static_cast<std::int32_t>(0xE00002C2);

    // A tick asks for some hundred keys, all answered from one pass over the chips.
    const std::vector<SmcKey>& keyTable() {
        const auto& chips = reader_->chips();
        if (tablePass_ != reader_->passCount()) {
            table_ = smcKeyTable(chips);
            tablePass_ = reader_->passCount();
        }
        return table_;
    }

    void answer(smc::KeyData& record) {
        const auto& table = keyTable();
        record.setResult(smc::success);
        switch (static_cast<smc::Command>(record.command())) {
        case smc::Command::keyAtIndex:
            if (record.data32() >= table.size()) {
                record.setResult(smc::indexOutOfRange);
                return;
            }
            record.setKey(table[record.data32()].name);
            return;
        case smc::Command::keyInfo:
        case smc::Command::readKey: {
            const auto name = record.key();
            const auto key = std::ranges::find(table, name, &SmcKey::name);
            if (key == table.end()) {
                record.setResult(smc::keyNotFound);
                return;
            }
            if (record.command() == static_cast<std::uint8_t>(smc::Command::keyInfo)) {
                record.setDataSize(key->size);
                record.setDataType(key->type);
                return;
            }
            // A read must ask for the key's own size, as a probe of another size learns.
            if (record.dataSize() != key->size || key->value.empty()) {
                record.setResult(record.dataSize() != key->size ? smc::badArgument : 1);
                return;
            }
            for (std::size_t i = 0; i < key->value.size(); ++i)
                record.setByte(i, key->value[i]);
            // The key count also travels in the record's 32-bit field, where readers look.
            if (name == "#KEY")
                record.setData32(static_cast<std::uint32_t>(table.size()));
            return;
        }
        default:
            record.setResult(smc::badCommand);
        }
    }

    std::shared_ptr<HwmonReader> reader_;
    std::vector<SmcKey> table_;
    std::uint64_t tablePass_ = 0; // the reader counts its passes from 1
};

} // namespace

std::vector<SmcKey> smcKeyTable(const std::vector<HwmonChip>& chips) {
    std::vector<SmcKey> table;
    table.push_back(SmcKey{"#KEY", "ui32", {}, 4});
    auto add = [&](SmcKey key) {
        if (std::ranges::find(table, key.name, &SmcKey::name) == table.end())
            table.push_back(std::move(key));
    };
    for (const auto& chip : chips) {
        if (chip.name != "applesmc")
            continue;
        for (const auto& channel : chip.temperatures) {
            if (isSmcKeyName(channel.label))
                add(temperatureKey(channel.label, channel.celsius));
        }
    }
    for (const SmcRole role : {SmcRole::Cpu, SmcRole::Gpu}) {
        int n = 0;
        for (const auto& chip : chips) {
            for (const auto& channel : chip.temperatures) {
                if (n < maxKeysPerKind && smcRoleOf(chip, channel) == role)
                    add(temperatureKey(numbered(role == SmcRole::Cpu ? "TC%dD" : "Tg%dD", n++),
                                       channel.celsius));
            }
        }
    }
    // Whole rpm as ui16: quarters (fpe2) end at 16,383 rpm, below what server fans reach. A
    // graphics card's fan cools the card, not the machine, and stops when the card is cool.
    int fan = 0;
    for (const auto& chip : chips) {
        if (isGraphicsChip(chip))
            continue;
        for (const auto& channel : chip.fans) {
            if (fan >= maxKeysPerKind)
                break;
            SmcKey key{numbered("F%dAc", fan++), "ui16", {}, 2};
            if (channel.rpm) {
                const auto rpm = static_cast<unsigned>(std::clamp(*channel.rpm, 0, 0xFFFF));
                key.value = {static_cast<std::uint8_t>(rpm >> 8), static_cast<std::uint8_t>(rpm)};
            }
            add(std::move(key));
        }
    }
    const auto count = static_cast<std::uint32_t>(table.size());
    table.front().value = {static_cast<std::uint8_t>(count >> 24),
                           static_cast<std::uint8_t>(count >> 16),
                           static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
    return table;
}

LinuxSmc::LinuxSmc(std::shared_ptr<HwmonReader> reader) : reader_(std::move(reader)) {}

RegistryEntryId LinuxSmc::serviceId() {
    return registryEntryId("/devices/platform/applesmc.768");
}

std::vector<std::unique_ptr<RegistryService>> LinuxSmc::services() {
    std::vector<std::unique_ptr<RegistryService>> services;
    services.push_back(std::make_unique<SnapshotService>(serviceId(), PropertyTable{}));
    return services;
}

std::unique_ptr<UserClient> LinuxSmc::openUserClient(RegistryEntryId service, std::uint32_t type) {
    if (service != serviceId() || type != 0)
        return nullptr;
    return std::make_unique<SmcUserClient>(reader_);
}

} // namespace orb::platform
