#include "draw/picture_buffers.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace runtime {
namespace {

void copy_rect(const Picture& from, const Picture& to, const PixelRect& r) {
    const PixelRect in = clipped(r, std::min(from.width, to.width), std::min(from.height, to.height));
    for (int y = in.y; y < in.y + in.h; ++y)
        std::memcpy(to.row(y) + in.x, from.row(y) + in.x, static_cast<std::size_t>(in.w) * 4);
}

} // namespace

void PictureBuffers::resize(int width, int height, std::uint32_t background) {
    const Picture old = picture();
    if (m_picture && old.width == width && old.height == height) return;
    std::unique_ptr<Buffer> next = m_allocate(width, height);
    carry_picture(old, next->m_picture, background);
    next->m_fresh = false;
    for (auto& b : m_buffers)
        if (b->m_held) m_retired.push_back(std::move(b));
    m_buffers.clear();
    m_picture = next.get();
    m_buffers.push_back(std::move(next));
}

PictureBuffers::Buffer* PictureBuffers::hand_over(std::span<const PixelRect> damage) {
    if (!m_picture || m_picture->m_held) return nullptr;
    const bool spare = m_buffers.size() < kMaxBuffers ||
                       std::any_of(m_buffers.begin(), m_buffers.end(),
                                   [&](const auto& b) { return b.get() != m_picture && !b->m_held; });
    if (!spare) return nullptr;
    m_picture->m_held = true;
    for (auto& b : m_buffers) {
        if (b.get() == m_picture || b->m_fresh) continue;
        b->m_missed.insert(b->m_missed.end(), damage.begin(), damage.end());
        if (b->m_missed.size() > kMaxWaitingRects) {
            b->m_missed.clear();
            b->m_fresh = true;
        }
    }
    return m_picture;
}

bool PictureBuffers::move_picture(bool may_allocate) {
    if (!m_picture || !m_picture->m_held) return false;
    auto missing = [](const Buffer& b) {
        return b.m_fresh ? std::numeric_limits<std::size_t>::max() : b.m_missed.size();
    };
    Buffer* next = nullptr;
    for (auto& b : m_buffers)
        if (!b->m_held && (!next || missing(*b) < missing(*next))) next = b.get();
    if (!next) {
        if (!may_allocate) return false;
        // hand_over() left room for one more.
        const Picture& p = m_picture->m_picture;
        m_buffers.push_back(m_allocate(p.width, p.height));
        next = m_buffers.back().get();
    }
    const Picture& from = m_picture->m_picture;
    if (next->m_fresh) copy_rect(from, next->m_picture, {0, 0, from.width, from.height});
    else
        for (const PixelRect& r : next->m_missed) copy_rect(from, next->m_picture, r);
    next->m_fresh = false;
    next->m_missed.clear();
    m_picture = next;
    return true;
}

void PictureBuffers::released(Buffer* buffer) {
    const auto it = std::find_if(m_retired.begin(), m_retired.end(), [&](const auto& b) { return b.get() == buffer; });
    if (it != m_retired.end()) m_retired.erase(it);
    else buffer->m_held = false;
}

} // namespace runtime
