// Waits for a moment on an X display and prints when it came, in seconds since the epoch (the
// clock bash's EPOCHREALTIME reads), so that a script can measure from something it did itself:
//   docked PANEL   a tray panel window holds an embedded icon (a child of one of its children);
//   drawn WINDOW   the window is on screen and drawn: its image holds more than one colour, since
//                  before the program's first frame the server shows a plain background there.
// Polling through the X connection resolves a few milliseconds, where starting a tool such as
// xwininfo for each look takes tens of them on a small machine.
// Usage: orbimeter_x_wait docked|drawn WINDOW-ID [TIMEOUT-MS]
// Prints "docked T" or "mapped T drawn T"; exits 1 when the moment did not come in time.
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::system_clock;

double now() {
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply> ReplyPtr<Reply> own(Reply* reply) {
    return ReplyPtr<Reply>(reply, &std::free);
}

bool holdsEmbeddedWindow(xcb_connection_t* c, xcb_window_t panel) {
    auto tree = own(xcb_query_tree_reply(c, xcb_query_tree(c, panel), nullptr));
    if (!tree)
        return false;
    const xcb_window_t* sockets = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        auto inner = own(xcb_query_tree_reply(c, xcb_query_tree(c, sockets[i]), nullptr));
        if (inner && xcb_query_tree_children_length(inner.get()) > 0)
            return true;
    }
    return false;
}

bool viewable(xcb_connection_t* c, xcb_window_t window) {
    auto attributes =
        own(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

// Compares the colour bits only: 32-bit pixels of a 24-bit window carry an undefined top byte.
bool moreThanOneColour(xcb_connection_t* c, xcb_window_t window) {
    auto geometry = own(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    if (!geometry)
        return false;
    auto image = own(xcb_get_image_reply(c,
                                         xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0,
                                                       geometry->width, geometry->height, ~0u),
                                         nullptr));
    if (!image)
        return false;
    const int length = xcb_get_image_data_length(image.get()) / 4;
    const uint8_t* data = xcb_get_image_data(image.get());
    uint32_t first = 0;
    for (int i = 0; i < length; ++i) {
        uint32_t pixel;
        std::memcpy(&pixel, data + 4 * i, 4);
        pixel &= 0xffffffu;
        if (i == 0)
            first = pixel;
        else if (pixel != first)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || (std::strcmp(argv[1], "docked") != 0 && std::strcmp(argv[1], "drawn") != 0)) {
        std::fprintf(stderr, "usage: %s docked|drawn WINDOW-ID [TIMEOUT-MS]\n", argv[0]);
        return 2;
    }
    const bool docked = std::strcmp(argv[1], "docked") == 0;
    const auto window = static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0));
    const auto timeout = std::chrono::milliseconds(argc > 3 ? std::atoi(argv[3]) : 10000);
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "%s: no X display\n", argv[0]);
        return 2;
    }

    const auto end = Clock::now() + timeout;
    double mapped = 0;
    while (Clock::now() < end) {
        if (docked) {
            if (holdsEmbeddedWindow(c, window)) {
                std::printf("docked %.6f\n", now());
                return 0;
            }
        } else if (viewable(c, window)) {
            if (mapped == 0)
                mapped = now();
            if (moreThanOneColour(c, window)) {
                std::printf("mapped %.6f drawn %.6f\n", mapped, now());
                return 0;
            }
        }
        // A full image of the popover is about a megabyte: look every few milliseconds so
        // that the server keeps time for the program's own drawing.
        std::this_thread::sleep_for(std::chrono::milliseconds(docked ? 2 : 4));
    }
    return 1;
}
