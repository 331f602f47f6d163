// The window's kept picture on X11, and the requests that show it.
//
// The picture is 32-bit whatever the screen; its memory is made as large as
// the screen once. The picture itself is the largest size the window has
// had, never larger than the screen: a window that shrinks and grows back
// shows the rays it had. Only what lies inside the window is shown.
//
// With MIT-SHM the server reads the pixels from memory we share with it:
// when the visual lays pixels out as the picture does, the picture itself
// is shared and showing a change is one clip request and one put, with no
// copy. Other TrueColor visuals get the
// damaged rectangles converted into a shared image of their own format.
// Without MIT-SHM (a server on another machine) the rectangles go in
// put-image requests of a few rows each, only as many as the socket takes
// without waiting: a server that stops reading never blocks the program.
#pragma once

#include "draw/damage.h"
#include "draw/picture.h"
#include "window/x11/pixel_format.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace runtime {

class X11Picture {
public:
    // For `window`, drawn with `gc`, on a screen at most `max_w` x `max_h`.
    // Tries MIT-SHM when `try_shm`; raises the run-time error when memory
    // for the picture cannot be had.
    X11Picture(xcb_connection_t* c, xcb_window_t window, xcb_gcontext_t gc, const PixelFormat& format, int max_w,
               int max_h, bool try_shm);
    X11Picture(const X11Picture&) = delete;
    X11Picture& operator=(const X11Picture&) = delete;
    ~X11Picture();

    [[nodiscard]] Picture picture() const { return {m_pixels, m_width, m_height, m_stride}; }
    [[nodiscard]] bool shared() const { return m_wire_segment != 0; }

    // Paints the whole picture with the background. Fresh memory is slow to
    // touch the first time, so this is done once the window has been asked
    // for, while the window manager and the server work on it, not before.
    void fill(std::uint32_t background);

    // Follows the window to its new size; true when the picture grew. What
    // is new shows the background.
    bool resize(int window_w, int window_h, std::uint32_t background);

    // Starts a put of the damaged pixels. With MIT-SHM it is two small
    // requests, queued at once, and the server sends a completion event
    // when it has read the pixels. Without, the rectangles are converted
    // now and go out in pieces through write_piece(). False when none of
    // the damage lies in the window: nothing is put.
    bool start_put(const Damage& damage);
    // Queues the next piece of the put started; pieces_left() is false
    // once all are.
    void write_piece();
    [[nodiscard]] bool pieces_left() const { return !m_unsent.empty(); }

private:
    struct Segment;
    void put_rects(const xcb_rectangle_t* rects, int count, const PixelRect& bounds);
    [[nodiscard]] int rows_per_piece(int width) const;

    xcb_connection_t* m_c;
    xcb_window_t m_window;
    xcb_gcontext_t m_gc;
    PixelFormat m_format;
    int m_max_w, m_max_h;
    std::size_t m_max_request_bytes;

    std::unique_ptr<Segment> m_segment; // shared memory, when the server takes it
    std::unique_ptr<std::uint32_t[]> m_own; // the picture, when it is not shared
    std::unique_ptr<std::uint8_t[]> m_own_wire; // the converted copy, when it is not shared
    std::vector<std::uint8_t> m_rows;     // rows packed for a put-image request
    std::vector<PixelRect> m_unsent;      // what the put started has still to send, last first
    std::uint32_t* m_pixels = nullptr;
    int m_stride = 0;
    int m_width = 0, m_height = 0;       // the picture: the largest the window has been
    int m_window_w = 0, m_window_h = 0;  // the window, what is shown
    bool m_filled = false; // until fill(), nothing has been drawn or shown

    // What the server reads: the picture itself, or its converted copy.
    std::uint8_t* m_wire = nullptr;
    int m_wire_stride = 0;
    std::uint32_t m_wire_segment = 0; // the MIT-SHM segment id, 0 if none
};

} // namespace runtime
