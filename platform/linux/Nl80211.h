#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>

namespace orb::platform {

// Channel number of a centre frequency in MHz (2.4, 4.9, 5, 6 and 60 GHz bands); 0 for a
// frequency outside them.
int channelFromFrequency(int mhz);

// What nl80211 tells about one wireless interface. Each field is empty when the kernel or the
// driver did not report it (no association, no survey support...).
struct Nl80211Reading {
    std::optional<int> frequency; // MHz, the interface's current channel
    std::optional<int> signal;    // dBm, of the associated access point
    std::optional<double> txRate; // Mbit/s, towards the access point
    std::optional<int> noise;     // dBm, on the channel in use
};

// Takes what one nl80211 message (netlink header, generic header, attributes; `length` bytes
// available) says about the interface `ifindex` into `reading`: an interface message gives the
// frequency, a station message the signal and transmit rate, a survey message the noise of the
// channel in use. Messages about other interfaces or of other commands, and malformed ones, are
// left out; a field already set keeps its value.
void readNl80211Message(const void* message, std::size_t length, unsigned ifindex,
                        Nl80211Reading& reading);

// Talks to the kernel's nl80211 generic-netlink family. One socket is kept open for the life of
// the object and reopened after a failure; every exchange is bounded in time, so a reading never
// holds up the caller for long.
class Nl80211Client {
public:
    Nl80211Client();
    ~Nl80211Client();
    Nl80211Client(const Nl80211Client&) = delete;
    Nl80211Client& operator=(const Nl80211Client&) = delete;

    // Readings of the interface with this index; empty when nl80211 cannot be reached (no
    // family in this network namespace, socket errors, timeouts) or does not know the interface.
    std::optional<Nl80211Reading> read(unsigned ifindex);

    // Longest a single read() waits for the kernel's answers, all requests together.
    static constexpr std::chrono::milliseconds kReplyBudget{300};

private:
    struct Socket;
    std::unique_ptr<Socket> socket_;
    std::chrono::steady_clock::time_point nextOpenAttempt_{};
};

} // namespace orb::platform
