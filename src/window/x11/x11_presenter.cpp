#include "window/x11/x11_presenter.h"

#include "window/x11/x11_connection.h"

#include <xcb/xcbext.h> // xcb_poll_for_reply

#include <cstdlib>

namespace runtime {

X11Presenter::X11Presenter(xcb_connection_t* c, int completion_event)
    : m_c(c), m_completion_event(completion_event) {}

void X11Presenter::present(const Damage& damage) {
    if (m_pending.size() + damage.size() > Damage::kMaxRects) m_pending_all = true;
    if (!m_pending_all)
        for (const PixelRect& r : damage) m_pending.add(r);
    put_pending();
}

void X11Presenter::present_all() {
    m_pending_all = true;
    put_pending();
}

void X11Presenter::put_held_back(std::chrono::nanoseconds frame_interval) {
    if (std::chrono::steady_clock::now() - m_last_put >= 2 * frame_interval) put_pending();
}

void X11Presenter::put_pending() {
    if (m_put_in_flight || (!m_pending_all && m_pending.empty())) return;
    if (!server_reads(m_c)) return; // held back until the server reads
    if (m_pending_all) {
        m_pending.clear();
        m_pending.add({0, 0, m_picture->picture().width, m_picture->picture().height});
    }
    const bool started = m_picture->start_put(m_pending);
    m_pending.clear();
    m_pending_all = false;
    if (!started) return; // all of it beyond a window grown small
    m_put_in_flight = true;
    m_last_put = std::chrono::steady_clock::now();
    if (m_log)
        std::fprintf(m_log, "put %lld\n",
                     static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                m_last_put.time_since_epoch())
                                                .count()));
    if (m_picture->shared()) flush();
    else write_pieces();
}

bool X11Presenter::completes_put(const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7F) != m_completion_event) return false;
    m_put_in_flight = false;
    return true;
}

void X11Presenter::check_put_done() {
    if (!m_put_marker) return;
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (xcb_poll_for_reply(m_c, *m_put_marker, &reply, &error) == 0) return;
    std::free(reply);
    std::free(error);
    m_put_marker.reset();
    m_put_in_flight = false;
}

void X11Presenter::flush() {
    // xcb waits for the socket to be writable before each write, and the
    // kernel says it is only while a quarter of its buffer is used; once it
    // takes a write it takes all of it. So a flush made while it is
    // writable never waits, and one that would is left for when it is.
    m_unflushed = !server_reads(m_c);
    if (!m_unflushed) xcb_flush(m_c);
    check_connection(m_c);
}

void X11Presenter::write_pieces() {
    // A piece at a time, each while the socket is writable, so that the
    // write it makes is taken whole (see flush()).
    while (m_picture && m_picture->pieces_left() && server_reads(m_c)) {
        m_picture->write_piece();
        if (!m_picture->pieces_left()) m_put_marker = xcb_get_input_focus(m_c).sequence;
        flush();
    }
}

} // namespace runtime
