#pragma once

#include "platform/LoginItem.h"

namespace orb::testing {

// A login-item service whose status the test sets. Successful calls move the status as the real
// service would; an error set by the test makes the call fail and leaves the status alone.
class FakeLoginItem final : public platform::LoginItemService {
public:
    platform::LoginItemStatus current = platform::LoginItemStatus::notRegistered;
    std::optional<QString> registerError;
    std::optional<QString> unregisterError;
    int registerCalls = 0;
    int unregisterCalls = 0;

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
