// A private headless weston (pixman, with the debug protocols) and our seat
// module, for tests that run the real program on Wayland: its own
// XDG_RUNTIME_DIR (mode 0700) and socket, stopped at the end.
#pragma once

#include "e2e/process.h"
#include "e2e/x_session.h"

#include <memory>
#include <string>

namespace e2e {

class WestonSession {
public:
    // Throws when weston or the seat module is missing, or weston does not
    // come up with its panel.
    explicit WestonSession(int scale = 1);
    ~WestonSession();

    // Whether tests can start one here.
    static bool available();

    // Environment for programs that should run on this compositor only.
    [[nodiscard]] std::map<std::string, std::string> env() const;
    // weston-debug's scene graph: every view with its role, title and place.
    [[nodiscard]] std::string scene_graph() const;
    // Plays one line of the seat module's commands ("click 960 600 right").
    void input(const std::string& command) const;
    [[nodiscard]] Screenshot screenshot() const;
    void kill_server();

private:
    std::string run(const std::string& command) const;

    std::string m_dir, m_socket;
    std::unique_ptr<Process> m_server;
};

} // namespace e2e
