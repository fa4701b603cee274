#include "platform/linux/Nl80211.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <initializer_list>

#include <linux/nl80211.h>
#include <netlink/attr.h>
#include <netlink/errno.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/handlers.h>
#include <netlink/msg.h>
#include <netlink/socket.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace orb::platform {

int channelFromFrequency(int mhz) {
    if (mhz == 2484)
        return 14;
    if (mhz > 2407 && mhz < 2484)
        return (mhz - 2407) / 5;
    if (mhz >= 4910 && mhz <= 4980) // Japanese 4.9 GHz channels
        return (mhz - 4000) / 5;
    if (mhz > 5000 && mhz < 5925)
        return (mhz - 5000) / 5;
    if (mhz == 5935) // 6 GHz channel 2 sits below the band's regular grid
        return 2;
    if (mhz >= 5955 && mhz <= 7115)
        return (mhz - 5950) / 5;
    if (mhz >= 58320 && mhz <= 70200)
        return (mhz - 56160) / 2160;
    return 0;
}

namespace {

using SteadyClock = std::chrono::steady_clock;

// After nl80211 could not be reached, wait this long before trying again: in a container without
// the family, trying every second would only cost a socket per sample.
constexpr auto kReopenDelay = std::chrono::seconds(10);
// Bounds the family lookup, which waits on a blocking socket.
constexpr suseconds_t kResolveTimeoutUs = 200'000;

// Attribute policies: nla_parse() then refuses attributes too short for their type, so reading
// them never goes past the message.
template <std::size_t N>
std::array<nla_policy, N> makePolicy(std::initializer_list<std::pair<int, std::uint16_t>> types) {
    std::array<nla_policy, N> policy{};
    for (auto [attribute, type] : types)
        policy[static_cast<std::size_t>(attribute)].type = type;
    return policy;
}

const nla_policy* messagePolicy() {
    static const auto policy = makePolicy<NL80211_ATTR_MAX + 1>({
        {NL80211_ATTR_IFINDEX, NLA_U32},
        {NL80211_ATTR_WIPHY_FREQ, NLA_U32},
        {NL80211_ATTR_STA_INFO, NLA_NESTED},
        {NL80211_ATTR_SURVEY_INFO, NLA_NESTED},
    });
    return policy.data();
}

const nla_policy* stationPolicy() {
    static const auto policy = makePolicy<NL80211_STA_INFO_MAX + 1>({
        {NL80211_STA_INFO_SIGNAL, NLA_U8},
        {NL80211_STA_INFO_SIGNAL_AVG, NLA_U8},
        {NL80211_STA_INFO_TX_BITRATE, NLA_NESTED},
    });
    return policy.data();
}

const nla_policy* ratePolicy() {
    static const auto policy = makePolicy<NL80211_RATE_INFO_MAX + 1>({
        {NL80211_RATE_INFO_BITRATE, NLA_U16},
        {NL80211_RATE_INFO_BITRATE32, NLA_U32},
    });
    return policy.data();
}

const nla_policy* surveyPolicy() {
    static const auto policy = makePolicy<NL80211_SURVEY_INFO_MAX + 1>({
        {NL80211_SURVEY_INFO_NOISE, NLA_U8},
        {NL80211_SURVEY_INFO_IN_USE, NLA_FLAG},
    });
    return policy.data();
}

// dBm values travel as unsigned bytes holding a signed number.
int signedByte(const nlattr* attribute) {
    return static_cast<std::int8_t>(nla_get_u8(const_cast<nlattr*>(attribute)));
}

void readStation(nlattr* info, Nl80211Reading& reading) {
    nlattr* station[NL80211_STA_INFO_MAX + 1] = {};
    if (nla_parse_nested(station, NL80211_STA_INFO_MAX, info, stationPolicy()) < 0)
        return;
    // A station dump of a managed interface holds the access point; elsewhere keep the first.
    if (!reading.signal) {
        if (station[NL80211_STA_INFO_SIGNAL])
            reading.signal = signedByte(station[NL80211_STA_INFO_SIGNAL]);
        else if (station[NL80211_STA_INFO_SIGNAL_AVG])
            reading.signal = signedByte(station[NL80211_STA_INFO_SIGNAL_AVG]);
    }
    if (!reading.txRate && station[NL80211_STA_INFO_TX_BITRATE]) {
        nlattr* rate[NL80211_RATE_INFO_MAX + 1] = {};
        if (nla_parse_nested(rate, NL80211_RATE_INFO_MAX, station[NL80211_STA_INFO_TX_BITRATE],
                             ratePolicy()) < 0)
            return;
        std::uint32_t units = 0; // of 100 kbit/s
        if (rate[NL80211_RATE_INFO_BITRATE32])
            units = nla_get_u32(rate[NL80211_RATE_INFO_BITRATE32]);
        else if (rate[NL80211_RATE_INFO_BITRATE])
            units = nla_get_u16(rate[NL80211_RATE_INFO_BITRATE]);
        if (units > 0)
            reading.txRate = units / 10.0;
    }
}

void readSurvey(nlattr* info, Nl80211Reading& reading) {
    nlattr* survey[NL80211_SURVEY_INFO_MAX + 1] = {};
    if (nla_parse_nested(survey, NL80211_SURVEY_INFO_MAX, info, surveyPolicy()) < 0)
        return;
    if (!reading.noise && survey[NL80211_SURVEY_INFO_IN_USE] && survey[NL80211_SURVEY_INFO_NOISE])
        reading.noise = signedByte(survey[NL80211_SURVEY_INFO_NOISE]);
}

// State of one request/answer exchange, shared with the libnl callbacks.
struct Exchange {
    unsigned ifindex = 0;
    Nl80211Reading* reading = nullptr;
    bool done = false;
    bool kernelError = false;
};

int onValid(nl_msg* message, void* arg) {
    auto& exchange = *static_cast<Exchange*>(arg);
    const nlmsghdr* header = nlmsg_hdr(message);
    readNl80211Message(header, header->nlmsg_len, exchange.ifindex, *exchange.reading);
    return NL_SKIP;
}

int onFinished(nl_msg*, void* arg) {
    static_cast<Exchange*>(arg)->done = true;
    return NL_STOP;
}

int onError(sockaddr_nl*, nlmsgerr*, void* arg) {
    auto& exchange = *static_cast<Exchange*>(arg);
    exchange.done = true;
    exchange.kernelError = true;
    return NL_STOP;
}

enum class Outcome {
    Complete,    // the kernel answered in full
    KernelError, // the kernel refused the request; the socket is still in step
    Broken,      // no full answer in time, or a socket error: the socket must be replaced
};

} // namespace

void readNl80211Message(const void* message, std::size_t length, unsigned ifindex,
                        Nl80211Reading& reading) {
    if (!message || length < NLMSG_HDRLEN + GENL_HDRLEN)
        return;
    // libnl takes the message as mutable but only reads it here.
    auto* header = static_cast<nlmsghdr*>(const_cast<void*>(message));
    if (header->nlmsg_len > length || !genlmsg_valid_hdr(header, 0))
        return;
    auto* genl = static_cast<genlmsghdr*>(nlmsg_data(header));
    nlattr* attributes[NL80211_ATTR_MAX + 1] = {};
    if (nla_parse(attributes, NL80211_ATTR_MAX, genlmsg_attrdata(genl, 0), genlmsg_attrlen(genl, 0),
                  messagePolicy()) < 0)
        return;
    if (attributes[NL80211_ATTR_IFINDEX] &&
        nla_get_u32(attributes[NL80211_ATTR_IFINDEX]) != ifindex)
        return;

    switch (genl->cmd) {
    case NL80211_CMD_NEW_INTERFACE:
        if (attributes[NL80211_ATTR_WIPHY_FREQ]) {
            auto frequency = nla_get_u32(attributes[NL80211_ATTR_WIPHY_FREQ]);
            if (frequency > 0 && frequency <= INT_MAX)
                reading.frequency = static_cast<int>(frequency);
        }
        break;
    case NL80211_CMD_NEW_STATION:
        if (attributes[NL80211_ATTR_STA_INFO])
            readStation(attributes[NL80211_ATTR_STA_INFO], reading);
        break;
    case NL80211_CMD_NEW_SURVEY_RESULTS:
        if (attributes[NL80211_ATTR_SURVEY_INFO])
            readSurvey(attributes[NL80211_ATTR_SURVEY_INFO], reading);
        break;
    default:
        break;
    }
}

struct Nl80211Client::Socket {
    nl_sock* socket = nullptr;
    nl_cb* callbacks = nullptr;
    int family = -1;

    Socket() = default;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (callbacks)
            nl_cb_put(callbacks);
        if (socket)
            nl_socket_free(socket);
    }

    static std::unique_ptr<Socket> open() {
        auto s = std::make_unique<Socket>();
        s->socket = nl_socket_alloc();
        if (!s->socket || genl_connect(s->socket) < 0)
            return nullptr;
        timeval timeout{0, kResolveTimeoutUs};
        ::setsockopt(nl_socket_get_fd(s->socket), SOL_SOCKET, SO_RCVTIMEO, &timeout,
                     sizeof timeout);
        s->family = genl_ctrl_resolve(s->socket, "nl80211");
        if (s->family < 0)
            return nullptr;
        // From here on the socket never blocks: waits go through poll() with a deadline.
        if (nl_socket_set_nonblocking(s->socket) < 0)
            return nullptr;
        s->callbacks = nl_cb_alloc(NL_CB_DEFAULT);
        if (!s->callbacks)
            return nullptr;
        return s;
    }

    Outcome exchange(std::uint8_t command, bool dump, unsigned ifindex, Nl80211Reading& reading,
                     SteadyClock::time_point deadline) {
        nl_msg* request = nlmsg_alloc();
        if (!request)
            return Outcome::Broken;
        bool built = genlmsg_put(request, NL_AUTO_PORT, NL_AUTO_SEQ, family, 0,
                                 dump ? NLM_F_DUMP : 0, command, 0) != nullptr &&
                     nla_put_u32(request, NL80211_ATTR_IFINDEX, ifindex) >= 0;
        int sent = built ? nl_send_auto(socket, request) : -1;
        nlmsg_free(request);
        if (sent < 0)
            return Outcome::Broken;

        Exchange state{ifindex, &reading};
        nl_cb_set(callbacks, NL_CB_VALID, NL_CB_CUSTOM, onValid, &state);
        nl_cb_set(callbacks, NL_CB_FINISH, NL_CB_CUSTOM, onFinished, &state);
        nl_cb_set(callbacks, NL_CB_ACK, NL_CB_CUSTOM, onFinished, &state);
        nl_cb_err(callbacks, NL_CB_CUSTOM, onError, &state);

        const int fd = nl_socket_get_fd(socket);
        while (!state.done) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
            if (left.count() <= 0)
                return Outcome::Broken;
            pollfd waiting{fd, POLLIN, 0};
            int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0 || (waiting.revents & POLLNVAL))
                return Outcome::Broken;
            int error = nl_recvmsgs(socket, callbacks);
            if (state.kernelError)
                return Outcome::KernelError;
            // An interrupted dump still ended properly; its entries are merely from two moments.
            if (error < 0 && error != -NLE_DUMP_INTR)
                return Outcome::Broken;
        }
        return Outcome::Complete;
    }
};

Nl80211Client::Nl80211Client() = default;
Nl80211Client::~Nl80211Client() = default;

std::optional<Nl80211Reading> Nl80211Client::read(unsigned ifindex) {
    if (ifindex == 0)
        return std::nullopt;
    if (!socket_) {
        auto now = SteadyClock::now();
        if (now < nextOpenAttempt_)
            return std::nullopt;
        socket_ = Socket::open();
        if (!socket_) {
            nextOpenAttempt_ = now + kReopenDelay;
            return std::nullopt;
        }
    }

    const auto deadline = SteadyClock::now() + kReplyBudget;
    Nl80211Reading reading;
    switch (socket_->exchange(NL80211_CMD_GET_INTERFACE, false, ifindex, reading, deadline)) {
    case Outcome::Complete:
        break;
    case Outcome::KernelError: // not a wireless interface, or gone
        return std::nullopt;
    case Outcome::Broken:
        socket_.reset();
        return std::nullopt;
    }
    // Station and survey dumps are optional: a driver without survey support answers with an
    // error, and an interface that is not associated has no station.
    for (auto command : {NL80211_CMD_GET_STATION, NL80211_CMD_GET_SURVEY}) {
        if (socket_->exchange(static_cast<std::uint8_t>(command), true, ifindex, reading,
                              deadline) == Outcome::Broken) {
            socket_.reset();
            break;
        }
    }
    return reading;
}

} // namespace orb::platform
