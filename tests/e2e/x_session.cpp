#include "e2e/x_session.h"

#include <cairo.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace e2e {
namespace {

using namespace std::chrono_literals;

bool wait_until(std::chrono::milliseconds limit, auto&& condition) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

// Whether an X server holds display `number`. A lock left by a server that
// was killed names a process that is gone: its lock and socket are cleared,
// as a new server would clear them, so that the number can be used again.
bool display_taken(int number) {
    const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
    std::ifstream file(lock);
    if (!file) return false;
    long pid = 0;
    file >> pid;
    if (pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) return true;
    std::filesystem::remove(lock);
    std::filesystem::remove("/tmp/.X11-unix/X" + std::to_string(number));
    return false;
}

} // namespace

std::vector<long long> tick_times(const std::string& log, bool deadlines) {
    std::vector<long long> ticks;
    std::istringstream in(log);
    std::string word;
    for (long long at, deadline, presented; in >> word;)
        if (word == "tick" && (in >> at >> deadline >> presented)) ticks.push_back(deadlines ? deadline : at);
    return ticks;
}

long largest_batch(const std::vector<long long>& fired, long long from, long long to) {
    long largest = 0;
    for (std::size_t i = 0, j = 0; i < fired.size(); i = j) {
        for (j = i; j < fired.size() && fired[j] == fired[i]; ++j) {}
        if (fired[i] >= from && fired[i] < to) largest = std::max(largest, static_cast<long>(j - i));
    }
    return largest;
}

std::vector<long> numbers_in(const std::string& text) {
    std::vector<long> out;
    std::string cleaned = text;
    for (char& ch : cleaned)
        if (!std::isdigit(static_cast<unsigned char>(ch)) && ch != '-') ch = ' ';
    std::istringstream in(cleaned);
    long n;
    while (in >> n) out.push_back(n);
    return out;
}

long peak_rss_kib(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return numbers_in(line).at(0);
    return -1;
}

long Screenshot::count_in(std::uint32_t colour, int x0, int y0, int w, int h) const {
    long n = 0;
    for (int y = y0; y < std::min(y0 + h, height); ++y)
        for (int x = x0; x < std::min(x0 + w, width); ++x) n += at(x, y) == colour;
    return n;
}

XSession::XSession(int width, int height, int dpi) : XSession([&] {
    XSessionOptions options;
    options.width = width;
    options.height = height;
    options.dpi = dpi;
    return options;
}()) {}

XSession::XSession(const XSessionOptions& options) {
    const std::string screen = std::to_string(options.width) + "x" + std::to_string(options.height) + "x" +
                               std::to_string(options.depth);
    // Spread concurrent sessions over the numbers; a taken one fails at once.
    for (int attempt = 0; attempt < 20 && !m_server; ++attempt) {
        const int number = 100 + (getpid() * 7 + attempt * 13) % 800;
        const std::string display = ":" + std::to_string(number);
        if (display_taken(number)) continue;
        std::vector<std::string> argv{"Xvfb", display, "-screen", "0", screen, "-dpi", std::to_string(options.dpi),
                                      "-nolisten", "tcp", "-noreset"};
        argv.insert(argv.end(), options.server_args.begin(), options.server_args.end());
        auto server = std::make_unique<Process>(argv);
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (wait_until(5s, [&] { return !server->running() || std::filesystem::exists(socket); }) &&
            server->running()) {
            m_display = display;
            m_server = std::move(server);
        }
    }
    if (!m_server) throw std::runtime_error("could not start Xvfb");
    if (!options.window_manager.empty()) start_window_manager(options.window_manager);
}

void XSession::start_window_manager(const std::string& name) {
    if (name == "twm") {
        m_window_manager = std::make_unique<Process>(std::vector<std::string>{"twm"}, env());
        // twm marks the root window when it has set up.
        if (!wait_until(10s, [&] { return run("xprop -root _MIT_PRIORITY_COLORS").find("=") != std::string::npos; }))
            throw std::runtime_error("twm did not start");
        return;
    }
    m_window_manager = std::make_unique<Process>(std::vector<std::string>{name, "--sm-disable"}, env());
    const bool ready = wait_until(10s, [&] {
        return run("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") !=
               std::string::npos;
    });
    if (!ready) throw std::runtime_error("openbox did not start");
    // Openbox names itself before it is ready: a window mapped in the first
    // moments may never be shown. A probe window that it shows says it is.
    const bool managing = wait_until(10s, [&] {
        Process probe({"xclock", "-geometry", "8x8", "-title", "rays-probe"}, env());
        return wait_until(1s, [&] {
            return run("xwininfo -name rays-probe 2>/dev/null").find("IsViewable") != std::string::npos;
        });
    });
    if (!managing) throw std::runtime_error("openbox does not show windows");
}

XSession::~XSession() {
    m_window_manager.reset();
    // Asked to end, the server takes its lock and socket with it.
    m_server->signal(SIGTERM);
    (void)m_server->wait_for_exit(2s);
    m_server.reset();
}

void XSession::kill_server() {
    m_server->signal(SIGKILL);
    (void)m_server->wait_for_exit(5s);
}

std::map<std::string, std::string> XSession::env() const {
    return {{"DISPLAY", m_display}, {"WAYLAND_DISPLAY", ""}};
}

std::string XSession::run(const std::string& command) const {
    return run_command("DISPLAY=" + m_display + " " + command);
}

std::string XSession::wait_for_window(const std::string& title,
                                      std::chrono::milliseconds limit) const {
    std::string id;
    wait_until(limit, [&] {
        id = run("xdotool search --name '^" + title + "$' 2>/dev/null | head -n 1");
        while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
        return !id.empty();
    });
    return id;
}

Screenshot XSession::screenshot(const std::string& window) const {
    char path[] = "/tmp/rays-e2e-shot-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    run("import -window " + window + " png:" + path);
    Screenshot shot = read_png(path);
    std::filesystem::remove(path);
    return shot;
}

Screenshot read_png(const std::string& path) {
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    Screenshot shot;
    if (cairo_surface_status(png) == CAIRO_STATUS_SUCCESS) {
        // cairo loads a PNG of 16 bits a channel as floats (cairo 1.18) or
        // anything else it chooses: painted onto an RGB24 image it has the
        // one layout the pixels are read in.
        shot.width = cairo_image_surface_get_width(png);
        shot.height = cairo_image_surface_get_height(png);
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, shot.width, shot.height);
        cairo_t* cr = cairo_create(image);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, png, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(image);
        const int stride = cairo_image_surface_get_stride(image);
        const unsigned char* data = cairo_image_surface_get_data(image);
        if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
            shot.pixels.resize(std::size_t(shot.width) * shot.height);
            for (int y = 0; y < shot.height; ++y)
                for (int x = 0; x < shot.width; ++x)
                    shot.pixels[std::size_t(y) * shot.width + x] =
                        reinterpret_cast<const std::uint32_t*>(data + std::size_t(y) * stride)[x] & 0xFFFFFF;
        } else {
            shot.width = shot.height = 0;
        }
        cairo_surface_destroy(image);
    }
    cairo_surface_destroy(png);
    return shot;
}

} // namespace e2e
