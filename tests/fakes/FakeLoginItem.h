#pragma once

#include "platform/LoginItem.h"

namespace orb::testing {

// A login-item service whose status the test sets. Successful calls move the status as the real
// service would; an error set by the test makes the call fail and leaves the status alone.
struct FakeLoginItem final : platform::LoginItemService {
    explicit FakeLoginItem(
        platform::LoginItemStatus status = platform::LoginItemStatus::notRegistered)
        : current(status) {}
    platform::LoginItemStatus current;
    std::optional<QString> registerError, unregisterError;
    int registerCalls = 0, unregisterCalls = 0;

    platform::LoginItemStatus status() override { return current; }
    std::optional<QString> registerItem() override {
        ++registerCalls;
        if (!registerError)
            current = platform::LoginItemStatus::enabled;
        return registerError;
    }
    std::optional<QString> unregisterItem() override {
        ++unregisterCalls;
        if (!unregisterError)
            current = platform::LoginItemStatus::notRegistered;
        return unregisterError;
    }
};

} // namespace orb::testing
