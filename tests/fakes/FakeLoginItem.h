#pragma once

#include "platform/LoginItem.h"

namespace orb::testing {

// A login-item service whose status the test sets. Successful calls move the status as the real
// service would; a register error set by the test makes that call fail and leaves the status.
struct FakeLoginItem final : platform::LoginItemService {
    using Status = platform::LoginItemStatus;
    explicit FakeLoginItem(Status status = Status::notRegistered) : current(status) {}
    Status current;
    std::optional<QString> registerError;
    int registerCalls = 0, unregisterCalls = 0;

    Status status() override { return current; }
    std::optional<QString> registerItem() override {
        ++registerCalls;
        if (!registerError)
            current = Status::enabled;
        return registerError;
    }
    std::optional<QString> unregisterItem() override {
        ++unregisterCalls;
        current = Status::notRegistered;
        return std::nullopt;
    }
};

} // namespace orb::testing
