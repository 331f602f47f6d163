// The kept picture when it lives in the buffers a compositor reads from: the
// canvas draws where the compositor looks, and each changed pixel is copied
// once, into the one buffer that missed it.
//
// A buffer belongs to the compositor from its hand-over until it is
// released, and nothing is drawn on it meanwhile: the picture is always a
// buffer the compositor does not hold. claim(), before drawing, moves the
// picture off a buffer that was handed over and is still held, to the free
// buffer that missed least, and copies in what it missed. A compositor that
// releases at once (one that copies into a texture) keeps the picture where
// it is, with no copy at all; one that holds the buffer it shows until the
// next comes (weston's pixman renderer) needs two. Three at most: a
// hand-over that would leave nothing to draw on waits.
#pragma once

#include "draw/damage.h"
#include "draw/picture.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace runtime {

class PictureBuffers {
public:
    static constexpr std::size_t kMaxBuffers = 3;

    // Pixel memory of one buffer; the platform's subclass adds its handle.
    class Buffer {
    public:
        virtual ~Buffer() = default;
        Buffer(const Buffer&) = delete;
        Buffer& operator=(const Buffer&) = delete;
        [[nodiscard]] const Picture& picture() const { return m_picture; }

    protected:
        explicit Buffer(Picture picture) : m_picture(picture) {}

    private:
        friend class PictureBuffers;
        Picture m_picture;
        bool m_held = false;
        bool m_fresh = true; // holds nothing drawn: everything is missing
        // Drawn since this buffer was last the picture: every rectangle of
        // every ray, not their union, or a few rays would copy half of it.
        std::vector<PixelRect> m_missed;
    };
    // A buffer of width x height pixels; raises when there is no memory.
    using Allocate = std::function<std::unique_ptr<Buffer>(int width, int height)>;

    explicit PictureBuffers(Allocate allocate) : m_allocate(std::move(allocate)) {}

    // Where to draw; no pixels before the first resize().
    [[nodiscard]] Picture picture() const { return m_picture ? m_picture->m_picture : Picture{}; }

    // A picture of another size: what fits is carried over, the rest is
    // `background`. Buffers of the old size go when they are released.
    void resize(int width, int height, std::uint32_t background);

    // Hands the picture's buffer to the compositor, `damage` being what was
    // drawn since its last hand-over. Null when that would leave no buffer
    // to draw on: the damage then waits for a release.
    Buffer* hand_over(std::span<const PixelRect> damage);

    // Before drawing: true when the picture moved to another buffer, which
    // holds the same pixels.
    bool claim() { return move_picture(true); }
    // The same, but only onto a buffer already released, never a new one:
    // called as releases come, it copies what the buffer missed while the
    // rays just drawn are still in the cache, not a frame later.
    bool claim_released() { return move_picture(false); }

    // The compositor is done with `buffer`.
    void released(Buffer* buffer);

    [[nodiscard]] std::size_t count() const { return m_buffers.size(); }

private:
    bool move_picture(bool may_allocate);

    Allocate m_allocate;
    std::vector<std::unique_ptr<Buffer>> m_buffers; // of the picture's size
    std::vector<std::unique_ptr<Buffer>> m_retired; // of an old size, still held
    Buffer* m_picture = nullptr;
};

} // namespace runtime
