#include "window/wayland/window_presenter.h"

#include "form/colour.h"

#include <chrono>

namespace runtime {
namespace {

// A frame asked for and not given for this long means the compositor does
// not show the window (minimised, on another workspace, an output off):
// the picture goes on changing and is shown whole when frames come again.
constexpr auto kUnseenAfter = std::chrono::milliseconds(500);

} // namespace

void WindowPresenter::resize(int width, int height, int bound_w, int bound_h) {
    m_shown_w = width;
    m_shown_h = height;
    const Picture kept = m_buffers.picture();
    m_buffers.resize(kept_extent(kept.width, width, bound_w), kept_extent(kept.height, height, bound_h),
                     kBackground | kOpaque);
}

bool WindowPresenter::visible() const {
    if (!m_toplevel.configured() || m_toplevel.suspended()) return false;
    return !m_frame_callback || Clock::now() - m_frame_asked < kUnseenAfter;
}

std::chrono::steady_clock::time_point WindowPresenter::frame_awaited_until() const {
    if (!m_toplevel.configured() || !m_frame_callback) return {};
    return m_frame_asked + kUnseenAfter;
}

void WindowPresenter::present(const Damage& damage) {
    const Picture picture = m_buffers.picture();
    for (const PixelRect& r : damage) {
        if (const PixelRect in = clipped(r, picture.width, picture.height); !in.empty()) m_pending.push_back(in);
    }
    if (m_pending.size() > kMaxWaitingRects) push_whole_picture();
    if (!m_frame_callback) commit();
}

void WindowPresenter::present_all() {
    push_whole_picture();
    if (!m_frame_callback) commit();
}

void WindowPresenter::restart() {
    // It goes out with the ticks this wake draws (present()), or before
    // the next wait.
    push_whole_picture();
    m_frame_callback.reset();
}

void WindowPresenter::commit_owed() {
    if (owed()) commit();
}

void WindowPresenter::commit_requested() {
    // A commit with a buffer is coming anyway: a bare one now would carry
    // an acknowledged configure without a buffer of its size.
    if (m_toplevel.configured() && !owed()) wl_surface_commit(m_surface);
}

void WindowPresenter::push_whole_picture() {
    const Picture picture = m_buffers.picture();
    m_pending.clear();
    m_pending.push_back({0, 0, picture.width, picture.height});
}

void WindowPresenter::commit() {
    if (!m_toplevel.configured() || m_pending.empty()) return;
    wl_buffer* buffer = m_buffers.hand_over(m_pending, m_shown_w, m_shown_h);
    if (!buffer) return; // nothing would be left to draw on: the damage waits for a release
    wl_surface_attach(m_surface, buffer, 0, 0);
    // The buffers take what they missed rectangle by rectangle, beyond the
    // window too, but the compositor is told of fewer, larger ones within it.
    for (const PixelRect& r : m_bands.merge(m_pending))
        if (const PixelRect in = clipped(r, m_shown_w, m_shown_h); !in.empty())
            wl_surface_damage_buffer(m_surface, in.x, in.y, in.w, in.h);
    if (!m_frame_callback) {
        m_frame_callback.reset(wl_surface_frame(m_surface));
        wl_callback_add_listener(m_frame_callback.get(), &kFrameListener, this);
        m_frame_asked = Clock::now();
    }
    wl_surface_commit(m_surface);
    m_pending.clear();
}

} // namespace runtime
