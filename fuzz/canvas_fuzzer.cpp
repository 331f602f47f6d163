// libFuzzer target for Canvas: decodes the input into a run of canvas
// operations on pixel buffers fenced with guard bytes, and after every
// operation checks what must hold whatever the arguments:
//
// - the operation answers ok or a failure with a reason, and never crashes
//   (AddressSanitizer and UndefinedBehaviorSanitizer watch the canvas code);
// - no byte outside the attached pixels changes: not the guards around any
//   buffer, not the padding at the end of each row, not a buffer the canvas
//   was attached to before;
// - a failed operation leaves every pixel as it was, and a refused pen width,
//   fill style or fill colour does not replace the one in use;
// - every damage rectangle lies within the surface, and every pixel a
//   drawing changed lies in a damage rectangle (the window shows only those);
// - a clear paints the whole surface in the background colour.
//
// Input layout, little-endian; arguments that run past the end read as zero.
// Two bytes pick the resolution, 24 + v % 937 dpi. Then operations, an opcode
// byte (taken modulo kOpcodes) and its arguments, until the input runs out:
//   0 attach       width 1+b%64, height 1+b%64, padding b%8 words, fill seed b
//   1 attach raw   int32 width, height, stride: a description the canvas must
//                  refuse; one it must accept is folded into the sizes above
//   2 detach
//   3 pen width    int32
//   4 pen width    1 + byte
//   5 fill style   int32
//   6 fill colour  uint32
//   7 clear
//   8 line         int32 flags, four float bit patterns x1 y1 x2 y2, uint32 colour
//   9 line         flags byte, four int16 twips x1 y1 x2 y2, three colour bytes
//  10 take damage
//  11 resolution   uint16, as at the start
// Set CANVAS_FUZZER_TRACE=1 to print the operations as they run.
#include "draw/canvas.h"
#include "form/units.h"
#include "form/form_runtime.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using runtime::Canvas;
using runtime::Colour;
using runtime::Status;

constexpr int kOpcodes = 12;
constexpr std::size_t kMaxOperations = 512;
constexpr int kMaxSide = 64;
constexpr int kMaxPaddingWords = 8;
constexpr std::size_t kGuardBytes = 64;
constexpr std::size_t kMaxRetiredBuffers = 8;

bool g_trace = false;

// Where the run is, for the report of a broken invariant.
struct Position {
    std::size_t operation = 0;
    int opcode = -1;
} g_position;

void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "canvas_fuzzer: %s (operation %zu, opcode %d)\n", what, g_position.operation,
                 g_position.opcode);
    std::abort();
}

[[gnu::format(printf, 1, 2)]] void trace(const char* format, ...) {
    if (!g_trace) return;
    std::fprintf(stderr, "%4zu  ", g_position.operation);
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    [[nodiscard]] bool empty() const { return m_pos >= m_size; }

    template <class T> T take() {
        unsigned char bytes[sizeof(T)] = {};
        const std::size_t n = std::min(sizeof(T), m_size - std::min(m_pos, m_size));
        if (n > 0) std::memcpy(bytes, m_data + m_pos, n);
        m_pos += sizeof(T);
        T value;
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Whole numbers of dots per inch from 24 to 960, as the desktop gives them.
double dpi_from(std::uint16_t v) {
    return runtime::kMinDpi + v % static_cast<int>(runtime::kMaxDpi - runtime::kMinDpi + 1);
}

std::uint8_t guard_byte(std::size_t i) { return static_cast<std::uint8_t>(0xA5u ^ (i * 29u)); }

// Pixel memory with guard bytes on both sides, and the bytes it should hold.
class Buffer {
public:
    Buffer(int width, int height, int stride, std::uint8_t seed)
        : m_width(width), m_height(height), m_stride(stride),
          m_bytes(2 * kGuardBytes + static_cast<std::size_t>(height) * static_cast<std::size_t>(stride)) {
        for (std::size_t i = 0; i < kGuardBytes; ++i) {
            m_bytes[i] = guard_byte(i);
            m_bytes[m_bytes.size() - 1 - i] = guard_byte(i);
        }
        std::uint32_t x = 0x9E3779B9u * (seed + 1u);
        for (std::size_t i = kGuardBytes; i < m_bytes.size() - kGuardBytes; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            m_bytes[i] = static_cast<std::uint8_t>(x);
        }
        m_expected = m_bytes;
    }

    [[nodiscard]] std::uint32_t* pixels() { return reinterpret_cast<std::uint32_t*>(m_bytes.data() + kGuardBytes); }
    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    [[nodiscard]] int stride() const { return m_stride; }

    // The low 24 bits of a pixel now, and as it was at the last accept().
    [[nodiscard]] Colour colour(int x, int y) const { return colour_in(m_bytes, x, y); }
    [[nodiscard]] Colour expected_colour(int x, int y) const { return colour_in(m_expected, x, y); }

    [[nodiscard]] bool guards_intact() const {
        for (std::size_t i = 0; i < kGuardBytes; ++i)
            if (m_bytes[i] != guard_byte(i) || m_bytes[m_bytes.size() - 1 - i] != guard_byte(i)) return false;
        return true;
    }
    [[nodiscard]] bool unchanged() const { return m_bytes == m_expected; }
    [[nodiscard]] bool row_padding_unchanged() const {
        const std::size_t row_bytes = static_cast<std::size_t>(m_width) * 4;
        for (int y = 0; y < m_height; ++y) {
            const std::size_t row = kGuardBytes + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_stride);
            if (!std::equal(m_bytes.begin() + static_cast<std::ptrdiff_t>(row + row_bytes),
                            m_bytes.begin() + static_cast<std::ptrdiff_t>(row) + m_stride,
                            m_expected.begin() + static_cast<std::ptrdiff_t>(row + row_bytes)))
                return false;
        }
        return true;
    }
    // Takes what the buffer holds now as what it should hold.
    void accept() { m_expected = m_bytes; }

private:
    [[nodiscard]] Colour colour_in(const std::vector<std::uint8_t>& bytes, int x, int y) const {
        std::uint32_t p = 0;
        std::memcpy(&p, bytes.data() + kGuardBytes + static_cast<std::size_t>(y) * m_stride + static_cast<std::size_t>(x) * 4,
                    4);
        return p & 0xFFFFFFu;
    }

    int m_width, m_height, m_stride;
    std::vector<std::uint8_t> m_bytes;
    std::vector<std::uint8_t> m_expected;
};

class Run {
public:
    explicit Run(double dpi) : m_canvas(dpi) {}

    void attach(int width, int height, int padding_words, std::uint8_t seed) {
        const int stride = (width + padding_words) * 4;
        auto buffer = std::make_unique<Buffer>(width, height, stride, seed);
        trace("attach %dx%d stride %d", width, height, stride);
        const Status s = m_canvas.attach(buffer->pixels(), width, height, stride);
        require(!s.failed(), "a valid pixel buffer was refused");
        retire_current();
        m_buffers.push_back(std::move(buffer));
        m_current = m_buffers.back().get();
        check_dimensions();
    }

    void attach_raw(std::int32_t width, std::int32_t height, std::int32_t stride, std::uint8_t seed) {
        const std::int64_t w = width, h = height, st = stride;
        if (w > 0 && h > 0 && st >= 4 * w && st % 4 == 0) {
            const int small_width = static_cast<int>(w % kMaxSide) + 1;
            const int padding = static_cast<int>((st / 4 - w) % kMaxPaddingWords);
            attach(small_width, static_cast<int>(h % kMaxSide) + 1, padding, seed);
            return;
        }
        // A buffer this description cannot fit, so that a canvas that took it
        // anyway would write over the guards.
        auto buffer = std::make_unique<Buffer>(1, 1, 4, seed);
        trace("attach raw %d %d %d", width, height, stride);
        const Status s = m_canvas.attach(buffer->pixels(), width, height, stride);
        require(s.failed() && s.reason != nullptr, "an impossible pixel buffer was accepted");
        // A failed attach leaves the canvas detached.
        retire_current();
        m_buffers.push_back(std::move(buffer));
        check_dimensions();
    }

    void detach() {
        trace("detach");
        const Status s = m_canvas.attach(nullptr, 0, 0, 0);
        require(!s.failed(), "detaching failed");
        retire_current();
        check_dimensions();
    }

    void set_pen_width(int pixels) {
        trace("set_pen_width %d", pixels);
        const int before = m_canvas.pen_width();
        const Status s = m_canvas.set_pen_width(pixels);
        require(m_canvas.pen_width() == (s.failed() ? before : pixels), "pen width not as answered");
        after_setting(s);
    }

    void set_fill_style(int style) {
        trace("set_fill_style %d", style);
        const int before = m_canvas.fill_style();
        const Status s = m_canvas.set_fill_style(style);
        require(m_canvas.fill_style() == (s.failed() ? before : style), "fill style not as answered");
        after_setting(s);
    }

    void set_fill_colour(Colour colour) {
        trace("set_fill_colour %#x", colour);
        const Colour before = m_canvas.fill_colour();
        const Status s = m_canvas.set_fill_colour(colour);
        require(m_canvas.fill_colour() == (s.failed() ? before : colour), "fill colour not as answered");
        after_setting(s);
    }

    void clear() {
        trace("clear");
        const Status s = m_canvas.clear();
        after_drawing(s);
        if (!s.failed() && m_current)
            for (int y = 0; y < m_current->height(); ++y)
                for (int x = 0; x < m_current->width(); ++x)
                    require(m_current->colour(x, y) == runtime::kBackground, "clear missed a pixel");
        accept();
    }

    void draw_line(int flags, float x1, float y1, float x2, float y2, Colour colour) {
        trace("draw_line %d (%.9g, %.9g) (%.9g, %.9g) %#x", flags, static_cast<double>(x1), static_cast<double>(y1),
              static_cast<double>(x2), static_cast<double>(y2), colour);
        const Status s = m_canvas.draw_line(flags, x1, y1, x2, y2, colour);
        after_drawing(s);
        accept();
    }

    void take_damage() {
        trace("take_damage");
        m_canvas.take_damage();
        require(m_canvas.damage().empty(), "damage left after taking it");
    }

    void set_dpi(double dpi) {
        trace("set_dpi %g", dpi);
        m_canvas.set_dpi(dpi);
    }

    // What must hold after any operation.
    void check_memory() const {
        for (const auto& b : m_buffers) {
            require(b->guards_intact(), "a guard byte around a pixel buffer changed");
            if (b.get() != m_current) require(b->unchanged(), "a buffer the canvas is not attached to changed");
        }
        if (m_current) require(m_current->row_padding_unchanged(), "padding at the end of a row changed");
        const runtime::Damage& damage = m_canvas.damage();
        require(damage.size() <= runtime::Damage::kMaxRects, "more damage rectangles than there is room for");
        for (const runtime::PixelRect& r : damage) {
            require(!r.empty(), "an empty damage rectangle");
            require(r.x >= 0 && r.y >= 0 && r.x <= m_canvas.width() - r.w && r.y <= m_canvas.height() - r.h,
                    "a damage rectangle reaches outside the surface");
        }
    }

private:
    void require_status_well_formed(Status s) const {
        if (s.failed()) require(s.reason != nullptr, "a failure without a reason");
        else require(s.code == 0, "success with a nonzero code");
    }

    void after_setting(Status s) {
        require_status_well_formed(s);
        if (m_current) require(m_current->unchanged(), "setting the pen or fill changed pixels");
    }

    void after_drawing(Status s) {
        require_status_well_formed(s);
        if (!m_current) return;
        if (s.failed()) {
            require(m_current->unchanged(), "a failed operation changed pixels");
            return;
        }
        // Every pixel whose colour changed must be in the damage, or the
        // window would go on showing the old one.
        const int w = m_current->width(), h = m_current->height();
        std::vector<bool> damaged(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        for (const runtime::PixelRect& r : m_canvas.damage())
            for (int y = std::max(r.y, 0); y < std::min(r.y + r.h, h); ++y)
                for (int x = std::max(r.x, 0); x < std::min(r.x + r.w, w); ++x)
                    damaged[static_cast<std::size_t>(y) * w + x] = true;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (m_current->colour(x, y) != m_current->expected_colour(x, y) &&
                    !damaged[static_cast<std::size_t>(y) * w + x]) {
                    if (g_trace) std::fprintf(stderr, "      undamaged change at %d,%d\n", x, y);
                    require(false, "a pixel changed outside the damage");
                }
    }

    void accept() {
        if (m_current) m_current->accept();
    }

    void retire_current() {
        m_current = nullptr;
        // Buffers stay to show that they are left alone, up to a few.
        while (m_buffers.size() > kMaxRetiredBuffers) m_buffers.erase(m_buffers.begin());
    }

    void check_dimensions() const {
        require(m_canvas.width() == (m_current ? m_current->width() : 0) &&
                    m_canvas.height() == (m_current ? m_current->height() : 0),
                "canvas size does not match its pixels");
        require(m_canvas.damage().empty(), "damage carried over to new pixels");
    }

    Canvas m_canvas;
    std::vector<std::unique_ptr<Buffer>> m_buffers;
    Buffer* m_current = nullptr;
};

float float_bits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* trace = std::getenv("CANVAS_FUZZER_TRACE");
    g_trace = trace && *trace && *trace != '0';
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    Run run(dpi_from(in.take<std::uint16_t>()));
    g_position = {};
    for (; !in.empty() && g_position.operation < kMaxOperations; ++g_position.operation) {
        const int opcode = in.take<std::uint8_t>() % kOpcodes;
        g_position.opcode = opcode;
        switch (opcode) {
        case 0: {
            const int w = in.take<std::uint8_t>() % kMaxSide + 1;
            const int h = in.take<std::uint8_t>() % kMaxSide + 1;
            const int padding = in.take<std::uint8_t>() % kMaxPaddingWords;
            run.attach(w, h, padding, in.take<std::uint8_t>());
            break;
        }
        case 1: {
            const auto w = in.take<std::int32_t>();
            const auto h = in.take<std::int32_t>();
            const auto stride = in.take<std::int32_t>();
            run.attach_raw(w, h, stride, static_cast<std::uint8_t>(w ^ h ^ stride));
            break;
        }
        case 2: run.detach(); break;
        case 3: run.set_pen_width(in.take<std::int32_t>()); break;
        case 4: run.set_pen_width(in.take<std::uint8_t>() + 1); break;
        case 5: run.set_fill_style(in.take<std::int32_t>()); break;
        case 6: run.set_fill_colour(in.take<std::uint32_t>()); break;
        case 7: run.clear(); break;
        case 8: {
            const auto flags = in.take<std::int32_t>();
            const float x1 = float_bits(in.take<std::uint32_t>()), y1 = float_bits(in.take<std::uint32_t>());
            const float x2 = float_bits(in.take<std::uint32_t>()), y2 = float_bits(in.take<std::uint32_t>());
            run.draw_line(flags, x1, y1, x2, y2, in.take<std::uint32_t>());
            break;
        }
        case 9: {
            const int flags = in.take<std::uint8_t>();
            const float x1 = in.take<std::int16_t>(), y1 = in.take<std::int16_t>();
            const float x2 = in.take<std::int16_t>(), y2 = in.take<std::int16_t>();
            const auto r = in.take<std::uint8_t>(), g = in.take<std::uint8_t>(), b = in.take<std::uint8_t>();
            const Colour colour = runtime::rgb(r, g, b);
            run.draw_line(flags, x1, y1, x2, y2, colour);
            break;
        }
        case 10: run.take_damage(); break;
        case 11: run.set_dpi(dpi_from(in.take<std::uint16_t>())); break;
        }
        run.check_memory();
    }
    return 0;
}
