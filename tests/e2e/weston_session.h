// A private headless weston (pixman, debug protocols) with our seat module,
// for tests that run the real program on Wayland: its own XDG_RUNTIME_DIR
// (mode 0700) and socket, stopped at the end.
#pragma once

#include "e2e/process.h"
#include "e2e/x_session.h"

#include <functional>

namespace e2e {

class WestonSession {
public:
    // Whether weston, its debug tools and the seat module are here.
    static bool available();
    // libdecor's plugins on this system, by name ("cairo", "gtk").
    static std::vector<std::string> title_bar_plugins();
    // Throws when weston does not come up with its panel. Programs started
    // in env() draw their title bar with `plugin` where the system has it.
    explicit WestonSession(int scale = 1, const std::string& plugin = "cairo");
    ~WestonSession();

    // Environment for programs that should run on this compositor only.
    [[nodiscard]] std::map<std::string, std::string> env() const;
    // Where the view of the window titled Form1 is (x0, y0, x1, y1), once
    // `wanted` holds of it or after five seconds; empty without one.
    std::vector<long> window_place(const std::function<bool(const std::vector<long>&)>& wanted = {}) const;
    // One command for the seat module ("click 960 600 right").
    void input(const std::string& command) const;
    [[nodiscard]] Screenshot screenshot() const;
    void kill_server();
    void signal_server(int sig) { m_server->signal(sig); }

private:
    std::string run(const std::string& command) const;

    std::string m_dir, m_socket, m_plugins;
    std::unique_ptr<Process> m_server;
};

} // namespace e2e
