// Showing the kept picture on an X server without ever waiting for it.
//
// One put of the picture is in flight at a time: a shared-memory put asks
// for the server's completion event, a plain one is followed by a cheap
// request whose reply says the server has read it. Damage shown meanwhile
// (ticks, exposes) gathers and goes out in the next put. A server that
// stops reading only holds the picture back: nothing is written that the
// socket would not take at once.
#pragma once

#include "draw/damage.h"
#include "window/x11/x11_picture.h"

#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

namespace runtime {

class X11Presenter {
public:
    // `completion_event`: the code of MIT-SHM's completion event, -1
    // without MIT-SHM.
    X11Presenter(xcb_connection_t* c, int completion_event);

    // The picture shown from now on.
    void set_picture(std::unique_ptr<X11Picture> picture) { m_picture = std::move(picture); }
    [[nodiscard]] X11Picture& picture() const { return *m_picture; }

    // Shows the damaged pixels, or all of them, with the next put.
    void present(const Damage& damage);
    void present_all();
    // The window was exposed or mapped: its pixels go out whole with the
    // next put, however many exposes came.
    void damage_all() { m_pending_all = true; }
    // Damage that no present has carried (nothing drawn for a while) goes
    // on its own, no more often than every other frame.
    void put_held_back(std::chrono::nanoseconds frame_interval);

    // Whether `event` is the completion of the put in flight.
    bool completes_put(const xcb_generic_event_t& event);
    // Looks whether the server has read the plain put in flight.
    void check_put_done();
    // Writes what is queued, and the pieces of a plain put, as far as the
    // socket takes them now; the rest waits for the loop to see it
    // writable.
    void flush();
    void write_pieces();
    [[nodiscard]] bool wants_to_write() const { return m_unflushed || (m_picture && m_picture->pieces_left()); }

    void log_to(std::FILE* log) { m_log = log; }

private:
    void put_pending();

    xcb_connection_t* m_c;
    int m_completion_event;
    std::unique_ptr<X11Picture> m_picture;
    // What is to be shown and has not been put yet: exposes show it whole.
    Damage m_pending;
    bool m_pending_all = false;
    bool m_put_in_flight = false;
    bool m_unflushed = false; // requests that wait for the socket to be writable
    std::optional<unsigned int> m_put_marker; // the reply that ends a plain put
    std::chrono::steady_clock::time_point m_last_put{};
    std::FILE* m_log = nullptr;
};

} // namespace runtime
