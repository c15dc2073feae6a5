#pragma once

// A connection to the X server as a window manager would see a program:
// maps of new windows, _NET_WM_PING round trips, geometry and XTest input.
// A ping is answered from the program's event loop, so its round trip is as
// long as the loop is busy.

#include "common.h"

#include <memory>
#include <stdexcept>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace bench {

// Thrown, so that a program under test is ended on the way out.
[[noreturn]] inline void die(const std::string& why) {
    throw std::runtime_error(why);
}

class X {
public:
    X() {
        int screenNumber = 0;
        m_c = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_c))
            die("cannot connect to the X server (is DISPLAY set?)");
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; i < screenNumber; ++i)
            xcb_screen_next(&it);
        m_root = it.data->root;
        m_protocols = atom("WM_PROTOCOLS");
        m_ping = atom("_NET_WM_PING");
        m_pid = atom("_NET_WM_PID");
        // Maps of new windows; ping answers, which Qt sends to the root
        // window for structure-notify and substructure-redirect listeners.
        const std::uint32_t mask =
            XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_c);
    }
    ~X() { xcb_disconnect(m_c); }

    int fd() const { return xcb_get_file_descriptor(m_c); }
    xcb_connection_t* connection() const { return m_c; }
    xcb_window_t root() const { return m_root; }

    // Waits up to timeoutMs for a top-level window of pid to be mapped.
    xcb_window_t waitMapped(pid_t pid, int timeoutMs, std::int64_t& mappedNs) {
        const std::int64_t end = nowNs() + std::int64_t(timeoutMs) * 1000000;
        while (nowNs() < end) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
                const std::int64_t t = nowNs();
                std::unique_ptr<xcb_generic_event_t, decltype(&free)> hold(e, &free);
                if ((e->response_type & 0x7F) != XCB_MAP_NOTIFY)
                    continue;
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(e);
                if (windowPid(map->window) == std::uint32_t(pid)) {
                    mappedNs = t;
                    return map->window;
                }
            }
            pollfd p{fd(), POLLIN, 0};
            ::poll(&p, 1, 5);
        }
        return XCB_NONE;
    }

    // Sends a ping to window, tagged with seq.
    void sendPing(xcb_window_t window, std::uint32_t seq) {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = window;
        ev.type = m_protocols;
        ev.data.data32[0] = m_ping;
        ev.data.data32[1] = seq;
        ev.data.data32[2] = window;
        xcb_send_event(m_c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
        xcb_flush(m_c);
    }

    // Reads pending events; returns the tag of a ping answer among them, or -1.
    long takePingAnswer() {
        long answered = -1;
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
            if ((e->response_type & 0x7F) == XCB_CLIENT_MESSAGE) {
                const auto* cm = reinterpret_cast<xcb_client_message_event_t*>(e);
                if (cm->window == m_root && cm->type == m_protocols && cm->data.data32[0] == m_ping)
                    answered = long(cm->data.data32[1]);
            }
            free(e);
        }
        return answered;
    }

    // One ping round trip in ms, or -1 after timeoutMs.
    double pingOnce(xcb_window_t window, int timeoutMs) {
        const std::uint32_t seq = ++m_seq;
        const std::int64_t start = nowNs();
        sendPing(window, seq);
        const std::int64_t end = start + std::int64_t(timeoutMs) * 1000000;
        while (nowNs() < end) {
            pollfd p{fd(), POLLIN, 0};
            ::poll(&p, 1, 5);
            if (takePingAnswer() == long(seq))
                return ms(nowNs() - start);
        }
        return -1;
    }
    std::uint32_t nextSeq() { return ++m_seq; }

    struct Rect {
        int x = 0, y = 0, width = 0, height = 0;
    };
    // A window's place on the screen and its size; the benchmark cannot go on without it.
    Rect geometry(xcb_window_t w) {
        xcb_get_geometry_reply_t* g =
            xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, w), nullptr);
        if (!g)
            die("cannot read the window's geometry");
        xcb_translate_coordinates_reply_t* t = xcb_translate_coordinates_reply(
            m_c, xcb_translate_coordinates(m_c, w, m_root, 0, 0), nullptr);
        const Rect r{t ? t->dst_x : g->x, t ? t->dst_y : g->y, g->width, g->height};
        free(g);
        free(t);
        return r;
    }

    void movePointer(int x, int y) {
        xcb_test_fake_input(m_c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, std::int16_t(x),
                            std::int16_t(y), 0);
        xcb_flush(m_c);
    }
    void button(bool press) {
        xcb_test_fake_input(m_c, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME,
                            XCB_NONE, 0, 0, 0);
        xcb_flush(m_c);
    }
    void discardEvents() {
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c))
            free(e);
    }

private:
    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        if (!r)
            die(std::string("cannot intern ") + name);
        const xcb_atom_t a = r->atom;
        free(r);
        return a;
    }
    std::uint32_t windowPid(xcb_window_t w) {
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, m_pid, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        std::uint32_t pid = 0;
        if (r && xcb_get_property_value_length(r) == 4)
            std::memcpy(&pid, xcb_get_property_value(r), 4);
        free(r);
        return pid;
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_protocols = XCB_NONE, m_ping = XCB_NONE, m_pid = XCB_NONE;
    std::uint32_t m_seq = 0;
};

} // namespace bench
