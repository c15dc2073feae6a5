#pragma once

// When a window's pixels change, from outside: the X DAMAGE extension
// reports every drawing into the window (raw rectangles, no subtracting).
// Spoken directly through xcb's request interface, so no extension headers
// are needed beyond libxcb's own.

#include "xconnection.h"

#include <sys/uio.h>
#include <xcb/xcbext.h>

namespace bench {

class Damage {
public:
    // Starts watching window; die()s if the server has no DAMAGE.
    Damage(xcb_connection_t* c, xcb_window_t window) : m_c(c) {
        static xcb_extension_t extension = {"DAMAGE", 0};
        const xcb_query_extension_reply_t* info = xcb_get_extension_data(c, &extension);
        if (!info || !info->present)
            die("the X server has no DAMAGE extension");
        m_firstEvent = info->first_event;
        // QueryVersion must come first; DAMAGE 1.1.
        struct {
            std::uint8_t major, minor;
            std::uint16_t length;
            std::uint32_t client[2];
        } version{0, 0, 0, {1, 1}};
        if (void* reply = request(&extension, 0, &version, sizeof version, false))
            free(reply);
        else
            die("DAMAGE did not answer its version request");
        struct {
            std::uint8_t major, minor;
            std::uint16_t length;
            std::uint32_t damage, drawable;
            std::uint8_t level, pad[3];
        } create{0, 1, 0, xcb_generate_id(c), window, 0 /* raw rectangles */, {0, 0, 0}};
        request(&extension, 1, &create, sizeof create, true);
        xcb_flush(c);
    }

    // Reads the events waiting; returns the time of the first one that
    // drew inside the rectangle (window coordinates), or 0. Other events
    // (pings, maps) are dropped: do not mix with ping probes.
    std::int64_t takeInside(int x, int y, int w, int h) {
        std::int64_t seen = 0;
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
            if ((e->response_type & 0x7F) == m_firstEvent) {
                const auto* d = reinterpret_cast<const Notify*>(e);
                const bool inside =
                    d->x < x + w && d->x + d->width > x && d->y < y + h && d->y + d->height > y;
                if (inside && !seen)
                    seen = nowNs();
                ++m_events;
            }
            free(e);
        }
        return seen;
    }
    long events() const { return m_events; }

private:
    // DamageNotify as it comes off the wire.
    struct Notify {
        std::uint8_t type, level;
        std::uint16_t sequence;
        std::uint32_t drawable, damage, timestamp;
        std::int16_t x, y;
        std::uint16_t width, height;
        std::int16_t gx, gy;
        std::uint16_t gwidth, gheight;
    };

    void* request(xcb_extension_t* ext, std::uint8_t opcode, void* body, std::size_t size,
                  bool isVoid) {
        iovec parts[4];
        parts[2] = {body, size};
        parts[3] = {nullptr, 0};
        xcb_protocol_request_t req{2, ext, opcode, std::uint8_t(isVoid)};
        const unsigned int seq =
            xcb_send_request(m_c, isVoid ? 0 : XCB_REQUEST_CHECKED, parts + 2, &req);
        if (isVoid)
            return nullptr;
        xcb_generic_error_t* error = nullptr;
        void* reply = xcb_wait_for_reply(m_c, seq, &error);
        free(error);
        return reply;
    }

    xcb_connection_t* m_c;
    std::uint8_t m_firstEvent = 0;
    long m_events = 0;
};

} // namespace bench
