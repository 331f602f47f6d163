// rays-render: the picture of rays after a number of ticks, as a PNG.
//
// The same arguments always give the same file, byte for byte. How the file
// is written, so that a failed or interrupted render never leaves a
// truncated file nor destroys an old one, is output_file.h's.
#include "output_file.h"
#include "rays/form1.h"
#include "form/printable.h"
#include "form/units.h"
#include "cairo_handles.h"
#include "headless/headless_runtime.h"
#include "signal_cleanup.h"

#include <cairo.h>

#include <charconv>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace {

constexpr long kDefaultTicks = 3000;
constexpr std::uint64_t kDefaultSeed = 1;
constexpr int kMaxSide = 16384;
constexpr long kMaxTicks = 1'000'000'000;

constexpr const char* kUsage = R"(Usage: rays-render [OPTION]...
Renders the rays after a number of ticks to a PNG file.

  --ticks N      ticks to run, 0 to 1000000000 (default 3000); every 10000th
                 wipes the picture, so 49999 is the last one of a whole cycle
  --seed S       seed of the random start points (default 1)
  --size WxH     image size in pixels, 1 to 16384 a side (default 1920x1080)
  --dpi D        resolution that maps twips to pixels, 24 to 960 (default 96)
  --output FILE  where to write the PNG, - for standard output (default rays.png)
  --help         show this help and exit
)";

struct Options {
    long ticks = kDefaultTicks;
    std::uint64_t seed = kDefaultSeed;
    int width = 1920, height = 1080;
    double dpi = 96;
    std::string output = "rays.png";
};

struct UsageError {
    std::string message;
};

template <typename T>
std::optional<T> parse_number(std::string_view text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

Options parse(int argc, char** argv, bool& help) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help") {
            help = true;
            return o;
        }
        std::string_view name = arg, value;
        bool has_value = false;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            has_value = true;
        }
        const bool known = name == "--ticks" || name == "--seed" || name == "--size" ||
                           name == "--dpi" || name == "--output";
        if (!known) throw UsageError{"unknown option '" + runtime::printable(arg) + "'"};
        if (!has_value) {
            if (i + 1 >= argc) throw UsageError{"option '" + runtime::printable(name) + "' needs a value"};
            value = argv[++i];
        }
        const std::string bad = "invalid value '" + runtime::printable(value) + "' for " + std::string(name);
        if (name == "--ticks") {
            const auto n = parse_number<long>(value);
            if (!n || *n < 0 || *n > kMaxTicks)
                throw UsageError{bad + ": a whole number from 0 to 1000000000"};
            o.ticks = *n;
        } else if (name == "--seed") {
            const auto n = parse_number<std::uint64_t>(value);
            if (!n) throw UsageError{bad + ": a whole number from 0 to 18446744073709551615"};
            o.seed = *n;
        } else if (name == "--size") {
            const auto x = value.find('x');
            const auto w = x == std::string_view::npos ? std::nullopt : parse_number<int>(value.substr(0, x));
            const auto h = x == std::string_view::npos ? std::nullopt : parse_number<int>(value.substr(x + 1));
            if (!w || !h || *w < 1 || *h < 1 || *w > kMaxSide || *h > kMaxSide)
                throw UsageError{bad + ": WIDTHxHEIGHT, 1 to 16384 pixels a side"};
            o.width = *w;
            o.height = *h;
        } else if (name == "--dpi") {
            const auto d = parse_number<double>(value);
            if (!d || !(*d >= runtime::kMinDpi && *d <= runtime::kMaxDpi)) throw UsageError{bad + ": 24 to 960"};
            o.dpi = *d;
        } else {
            if (value.empty()) throw UsageError{"the output file name is empty"};
            o.output = value;
        }
    }
    return o;
}

class ProgressBar {
public:
    ProgressBar(long total) : m_total(total), m_enabled(isatty(STDERR_FILENO) != 0) {}
    void operator()(long done) {
        if (!m_enabled) return;
        const auto elapsed = std::chrono::steady_clock::now() - m_start;
        if (elapsed < std::chrono::seconds(1) && done < m_total) return;
        if (elapsed < std::chrono::seconds(1) && !m_shown) return;
        constexpr int kWidth = 40;
        const int filled = m_total > 0 ? static_cast<int>(kWidth * done / m_total) : kWidth;
        std::fprintf(stderr, "\r[%-*.*s] %3d%%", kWidth, filled,
                     "########################################", m_total > 0 ? int(100 * done / m_total) : 100);
        if (done >= m_total) std::fputc('\n', stderr);
        m_shown = true;
    }

private:
    long m_total;
    bool m_enabled;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// Where the PNG's bytes go, and why they could not.
struct Sink {
    int fd;
    int error = 0;
};

cairo_status_t write_to_sink(void* closure, const unsigned char* data, unsigned int length) {
    auto& sink = *static_cast<Sink*>(closure);
    while (length > 0) {
        const ssize_t written = write(sink.fd, data, length);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) {
            sink.error = errno;
            return CAIRO_STATUS_WRITE_ERROR;
        }
        data += written;
        length -= static_cast<unsigned int>(written);
    }
    return CAIRO_STATUS_SUCCESS;
}

bool write_png(cairo_surface_t* surface, const std::string& path) {
    const std::string name = path == "-" ? "standard output" : runtime::printable(path);
    try {
        OutputFile file(path);
        Sink sink{file.fd()};
        const cairo_status_t status = cairo_surface_write_to_png_stream(surface, write_to_sink, &sink);
        if (status != CAIRO_STATUS_SUCCESS) {
            // The system's reason, such as a full disk, rather than cairo's
            // "error while writing to output stream".
            std::fprintf(stderr, "rays-render: cannot write %s: %s\n", name.c_str(),
                         sink.error ? std::strerror(sink.error) : cairo_status_to_string(status));
            return false;
        }
        file.commit();
        return true;
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "rays-render: cannot write %s: %s\n", name.c_str(), e.code().message().c_str());
        return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    bool help = false;
    Options options;
    try {
        options = parse(argc, argv, help);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "rays-render: %s (see rays-render --help)\n", e.message.c_str());
        return 2;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        // `rays-render --help > /dev/full` must not look like it worked.
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "rays-render: cannot write to standard output: %s\n", std::strerror(errno));
            return 1;
        }
        return 0;
    }

    signal_cleanup::install();
    try {
        runtime::HeadlessRuntime headless(options.width, options.height, options.dpi, options.seed);
        rays::Form1 form(headless);
        ProgressBar progress(options.ticks);
        headless.run(form, options.ticks, std::ref(progress));
        // cairo only reads the pixels, to encode them.
        auto* pixels = const_cast<std::uint32_t*>(headless.pixels().data());
        const runtime::CairoSurface image(cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(pixels), CAIRO_FORMAT_RGB24, options.width, options.height,
            options.width * 4));
        return write_png(image.get(), options.output) ? 0 : 1;
    } catch (const runtime::RuntimeError& e) {
        std::fprintf(stderr, "rays-render: run-time error: %s\n", e.what());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "rays-render: out of memory for a %dx%d image\n", options.width, options.height);
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rays-render: run-time error: %s\n", runtime::printable(e.what()).c_str());
        return 1;
    }
}
