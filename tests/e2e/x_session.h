// A private X server (Xvfb) with a window manager (openbox), for tests that
// run the real program. Started on a free display number, stopped at the end.
#pragma once

#include "e2e/process.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

// The colours the first phase draws with, and the window's background, as
// screenshots show them.
inline constexpr std::uint32_t kLightGreen = 0x00FF00, kMagenta = 0x800080, kBlack = 0x000000;
inline constexpr std::uint32_t kBackground = 0xF0F0F0;

struct Screenshot {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB
    [[nodiscard]] std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
    // How many pixels of [0, w) x [0, h) have exactly this colour.
    [[nodiscard]] long count(std::uint32_t colour, int w, int h) const { return count_in(colour, 0, 0, w, h); }
    [[nodiscard]] long count_in(std::uint32_t colour, int x, int y, int w, int h) const;
};

// A PNG read back; empty when it cannot be read.
Screenshot read_png(const std::string& path);

// The whole numbers in a text, such as xprop and xwininfo print.
std::vector<long> numbers_in(const std::string& text);

// A process's peak resident memory, in KiB (VmHWM); -1 when unknown.
long peak_rss_kib(int pid);

// When the ticks in rays-tick-log's stderr fired (ns), or, with `deadlines`,
// when they were due. A hidden window fires a second's ticks at once, so
// only their deadlines say that none was lost.
std::vector<long long> tick_times(const std::string& log, bool deadlines = false);
// The most ticks fired at one moment in [from, to): a batch says the window
// counted as hidden.
long largest_batch(const std::vector<long long>& fired, long long from, long long to);

struct XSessionOptions {
    int width = 1920, height = 1080, dpi = 96, depth = 24;
    std::vector<std::string> server_args; // more for Xvfb: screens, extensions
    std::string window_manager = "openbox"; // or "twm", or "" for none
};

class XSession {
public:
    explicit XSession(int width = 1920, int height = 1080, int dpi = 96);
    explicit XSession(const XSessionOptions& options);
    ~XSession();

    [[nodiscard]] const std::string& display() const { return m_display; }
    // Environment for programs that should run on this display.
    [[nodiscard]] std::map<std::string, std::string> env() const;
    // Runs a shell command against this display; returns its stdout.
    std::string run(const std::string& command) const;

    // Waits for a top-level window with this exact title; returns its id or 0.
    std::string wait_for_window(const std::string& title, std::chrono::milliseconds limit) const;
    [[nodiscard]] Screenshot screenshot(const std::string& window = "root") const;
    // Ends the X server at once, as a crash would.
    void kill_server();
    // Starts "openbox" or "twm" and waits until it manages windows.
    void start_window_manager(const std::string& name);
    // Ends the window manager, as a crash would.
    void kill_window_manager() { m_window_manager.reset(); }
    [[nodiscard]] int server_pid() const { return m_server->pid(); }

private:
    std::string m_display;
    std::unique_ptr<Process> m_server;
    std::unique_ptr<Process> m_window_manager;
};

} // namespace e2e
