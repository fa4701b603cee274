#pragma once

#include "platform/PropertyValue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

namespace orb::platform {

// The HID event system: a client that matches services by usage, lists them, and copies one
// event from a service. Its functions are looked up by name at run time, so a system without
// them still runs the program, with fewer sensors.
//
// The objects are opaque: each platform derives its own and only its functions look inside.
// A handle releases its object when the last copy goes, as the copy and create functions of the
// original interface hand their results over to the caller.
class HidClientObject {
public:
    virtual ~HidClientObject() = default;
};
class HidServiceObject {
public:
    virtual ~HidServiceObject() = default;
};
class HidEventObject {
public:
    virtual ~HidEventObject() = default;
};
using HidClient = std::shared_ptr<HidClientObject>;
using HidService = std::shared_ptr<HidServiceObject>;
using HidEvent = std::shared_ptr<HidEventObject>;

// Where the client's memory comes from; null is the default allocator.
using HidAllocator = const void*;
inline constexpr HidAllocator defaultHidAllocator = nullptr;

// The six functions, in the shapes the monitor calls them.
using HidClientCreate = std::function<HidClient(HidAllocator allocator)>;
using HidClientSetMatching =
    std::function<void(const HidClient& client, const PropertyTable& matching)>;
// Null entries may occur and are skipped by the caller; no list at all is an empty optional.
using HidClientCopyServices =
    std::function<std::optional<std::vector<HidService>>(const HidClient& client)>;
using HidServiceCopyProperty = std::function<std::optional<PropertyValue>(
    const HidService& service, std::string_view property)>;
using HidServiceCopyEvent =
    std::function<HidEvent(const HidService& service, std::int64_t eventType, std::int32_t options,
                           std::int64_t timestamp)>;
using HidEventGetFloatValue = std::function<double(const HidEvent& event, std::int32_t field)>;

// One resolved function, or nothing when the name is unknown.
using HidFunction =
    std::variant<std::monostate, HidClientCreate, HidClientSetMatching, HidClientCopyServices,
                 HidServiceCopyProperty, HidServiceCopyEvent, HidEventGetFloatValue>;

// The names the functions are found under.
namespace hid_symbols {
inline constexpr std::string_view clientCreate = "IOHIDEventSystemClientCreate";
inline constexpr std::string_view clientSetMatching = "IOHIDEventSystemClientSetMatching";
inline constexpr std::string_view clientCopyServices = "IOHIDEventSystemClientCopyServices";
inline constexpr std::string_view serviceCopyProperty = "IOHIDServiceClientCopyProperty";
inline constexpr std::string_view serviceCopyEvent = "IOHIDServiceClientCopyEvent";
inline constexpr std::string_view eventGetFloatValue = "IOHIDEventGetFloatValue";
} // namespace hid_symbols

// What marks a temperature sensor: matched by its vendor usage page and usage, read through its
// temperature event, whose temperature level is a field named by the event type in its high half.
namespace hid_temperature {
inline constexpr std::int64_t usagePage = 0xFF00;
inline constexpr std::int64_t usage = 5;
inline constexpr std::int64_t eventType = 15;
inline constexpr std::int32_t levelField = eventType << 16;
inline constexpr std::string_view usagePageKey = "PrimaryUsagePage";
inline constexpr std::string_view usageKey = "PrimaryUsage";
inline constexpr std::string_view productKey = "Product";
} // namespace hid_temperature

// The library that holds the functions where the system ships them; a resolver over it opens it
// with dlopen (resolve now) and looks each name up with dlsym.
inline constexpr std::string_view hidLibraryPath =
    "/System/Library/Frameworks/IOKit.framework/IOKit";

// Hands out the functions by name. A platform without the library has no resolver at all.
class HidFunctionResolver {
public:
    virtual ~HidFunctionResolver() = default;
    // The function named `name`, or std::monostate when this system has no such function.
    virtual HidFunction resolve(std::string_view name) = 0;
};

} // namespace orb::platform
