#include "e2e/weston_session.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace e2e {
namespace {

using namespace std::chrono_literals;

bool wait_until(std::chrono::milliseconds limit, auto&& condition) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

} // namespace

bool WestonSession::available() {
#ifdef RAYS_TEST_SEAT_MODULE
    return run_command("for p in weston weston-debug weston-screenshooter; do command -v $p; done | wc -l")
        .starts_with("3");
#else
    return false;
#endif
}

WestonSession::WestonSession(int scale) {
#ifndef RAYS_TEST_SEAT_MODULE
    (void)scale;
    throw std::runtime_error("the seat module was not built");
#else
    char dir[] = "/tmp/rays-weston-XXXXXX"; // mkdtemp makes it 0700
    if (!mkdtemp(dir)) throw std::runtime_error("mkdtemp failed");
    m_dir = dir;
    m_socket = "rays-" + std::to_string(getpid());
    if (mkfifo((m_dir + "/input").c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    m_server = std::make_unique<Process>(
        std::vector<std::string>{"weston", "--backend=headless-backend.so", "--use-pixman", "--debug",
                                 "--width=1920", "--height=1080", "--scale=" + std::to_string(scale),
                                 "--idle-time=0", "--socket=" + m_socket, "--modules=" RAYS_TEST_SEAT_MODULE},
        std::map<std::string, std::string>{{"XDG_RUNTIME_DIR", m_dir},
                                           {"RAYS_WESTON_INPUT", m_dir + "/input"},
                                           {"WAYLAND_DISPLAY", ""},
                                           {"DISPLAY", ""}});
    // The desktop shell's panel takes the top of the output: a window mapped
    // before it would be maximised over the whole output.
    if (!wait_until(15s, [&] { return scene_graph().find("panel for output") != std::string::npos; }))
        throw std::runtime_error("weston did not come up: " + m_server->stderr_text());
#endif
}

WestonSession::~WestonSession() {
    m_server.reset();
    std::filesystem::remove_all(m_dir);
}

std::map<std::string, std::string> WestonSession::env() const {
    return {{"XDG_RUNTIME_DIR", m_dir}, {"WAYLAND_DISPLAY", m_socket}, {"DISPLAY", ""}};
}

std::string WestonSession::run(const std::string& command) const {
    return run_command("cd " + m_dir + " && export XDG_RUNTIME_DIR=" + m_dir + " WAYLAND_DISPLAY=" + m_socket +
                       " && " + command);
}

std::string WestonSession::scene_graph() const { return run("timeout 2 weston-debug scene-graph 2>/dev/null"); }

void WestonSession::input(const std::string& command) const {
    std::ofstream(m_dir + "/input") << command << '\n';
}

Screenshot WestonSession::screenshot() const {
    run("rm -f wayland-screenshot-*.png; timeout 5 weston-screenshooter >/dev/null 2>&1");
    for (const auto& entry : std::filesystem::directory_iterator(m_dir))
        if (entry.path().extension() == ".png") return read_png(entry.path());
    return {};
}

void WestonSession::kill_server() {
    m_server->signal(SIGKILL);
    (void)m_server->wait_for_exit(5s);
}

} // namespace e2e
