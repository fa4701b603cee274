#pragma once

#include "platform/LoginItem.h"

namespace orb::testing {

// A login-item service whose status the test sets. Successful calls move the status as the real
// service would; an error set by the test makes the call fail and leaves the status alone.
struct FakeLoginItem final : platform::LoginItemService {
    using Status = platform::LoginItemStatus;
    explicit FakeLoginItem(Status status = Status::notRegistered) : current(status) {}
    Status current;
    std::optional<QString> registerError, unregisterError;
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
        if (!unregisterError)
            current = Status::notRegistered;
        return unregisterError;
    }
};

} // namespace orb::testing
