#pragma once

#include <QString>
#include <memory>
#include <optional>

namespace orb::platform {

enum class LoginItemStatus {
    notRegistered = 0,
    enabled = 1,
    // The system knows the item but the user still has to allow it.
    requiresApproval = 2,
    // The registration exists but no longer points at a program that can be started.
    notFound = 3,
};

// Starting the program when the user logs in.
class LoginItemService {
public:
    virtual ~LoginItemService() = default;
    virtual LoginItemStatus status() = 0;
    // Each returns a description of what went wrong, or nothing on success.
    virtual std::optional<QString> registerItem() = 0;
    virtual std::optional<QString> unregisterItem() = 0;
};

// The start-at-login service of the system the program was built for, for this program.
std::unique_ptr<LoginItemService> makeLoginItemService();

} // namespace orb::platform
