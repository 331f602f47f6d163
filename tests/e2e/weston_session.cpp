#include "e2e/weston_session.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace e2e {

using namespace std::chrono_literals;

bool WestonSession::available() {
    return *RAYS_TEST_SEAT_MODULE &&
           run_command("for p in weston weston-debug weston-screenshooter; do command -v $p; done | wc -l")
               .starts_with("3");
}

// The CPU renderer: --renderer=pixman from weston 11 on, where --use-pixman
// became a deprecated alias; weston 10 knows only the latter.
static std::string pixman_renderer_flag() {
    static const std::string flag = run_command("weston --help 2>&1").find("--renderer") != std::string::npos
                                        ? "--renderer=pixman"
                                        : "--use-pixman";
    return flag;
}

std::vector<std::string> WestonSession::title_bar_plugins() {
    std::vector<std::string> names;
    std::error_code absent;
    for (const auto& entry : std::filesystem::directory_iterator(RAYS_LIBDECOR_PLUGIN_DIR, absent)) {
        const std::string file = entry.path().filename();
        if (file.starts_with("libdecor-") && file.ends_with(".so")) names.push_back(file.substr(9, file.size() - 12));
    }
    std::sort(names.begin(), names.end());
    return names;
}

WestonSession::WestonSession(int scale, const std::string& plugin) {
    char dir[] = "/tmp/rays-weston-XXXXXX"; // mkdtemp makes it 0700
    if (!mkdtemp(dir) || mkfifo((std::string(dir) + "/input").c_str(), 0600) != 0)
        throw std::runtime_error("no private runtime directory");
    m_dir = dir;
    m_socket = "rays-" + std::to_string(getpid());
    // libdecor takes the first plugin of its liking from the folder it is
    // given: one that holds only the wanted one.
    const std::filesystem::path chosen = std::string(RAYS_LIBDECOR_PLUGIN_DIR) + "/libdecor-" + plugin + ".so";
    if (std::filesystem::exists(chosen)) {
        m_plugins = m_dir + "/plugins";
        std::filesystem::create_directory(m_plugins);
        std::filesystem::create_symlink(chosen, m_plugins + "/" + chosen.filename().string());
    }
    m_server = std::make_unique<Process>(
        std::vector<std::string>{"weston", "--backend=headless-backend.so", pixman_renderer_flag(), "--debug",
                                 "--width=1920", "--height=1080", "--scale=" + std::to_string(scale),
                                 "--idle-time=0", "--socket=" + m_socket, "--modules=" RAYS_TEST_SEAT_MODULE},
        std::map<std::string, std::string>{
            {"XDG_RUNTIME_DIR", m_dir}, {"RAYS_WESTON_INPUT", m_dir + "/input"}, {"WAYLAND_DISPLAY", ""}});
    // The shell's panel takes the top of the output: a window mapped before
    // it would be maximised over the whole output.
    for (int i = 0; i < 300 && run("weston-debug scene-graph").find("panel for output") == std::string::npos; ++i)
        std::this_thread::sleep_for(50ms);
    if (run("weston-debug scene-graph").find("panel for output") == std::string::npos)
        throw std::runtime_error("weston did not come up: " + m_server->stderr_text());
}

WestonSession::~WestonSession() {
    m_server.reset();
    std::filesystem::remove_all(m_dir);
}

std::map<std::string, std::string> WestonSession::env() const {
    std::map<std::string, std::string> env{{"XDG_RUNTIME_DIR", m_dir}, {"WAYLAND_DISPLAY", m_socket}, {"DISPLAY", ""}};
    if (!m_plugins.empty()) env["LIBDECOR_PLUGIN_DIR"] = m_plugins;
    return env;
}

std::string WestonSession::run(const std::string& command) const {
    return run_command("cd " + m_dir + " && export XDG_RUNTIME_DIR=" + m_dir + " WAYLAND_DISPLAY=" + m_socket +
                       " && timeout 5 " + command + " 2>/dev/null");
}

std::vector<long> WestonSession::window_place(const std::function<bool(const std::vector<long>&)>& wanted) const {
    std::vector<long> place;
    for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(50ms)) {
        const std::string graph = run("weston-debug scene-graph");
        const auto view = graph.find("top-level window 'Form1' of rays");
        if (view == std::string::npos) continue;
        const auto line = graph.find("position:", view);
        std::string text = graph.substr(line, graph.find('\n', line) - line);
        text.replace(text.find("->"), 2, "  "); // not a minus sign
        place = numbers_in(text);
        if (place.size() == 4 && (!wanted || wanted(place))) break;
    }
    return place;
}

void WestonSession::input(const std::string& command) const { std::ofstream(m_dir + "/input") << command << '\n'; }

Screenshot WestonSession::screenshot() const {
    run("sh -c 'rm -f wayland-screenshot-*.png; weston-screenshooter'");
    for (const auto& entry : std::filesystem::directory_iterator(m_dir))
        if (entry.path().extension() == ".png") return read_png(entry.path());
    return {};
}

void WestonSession::kill_server() {
    m_server->signal(SIGKILL);
    (void)m_server->wait_for_exit(5s);
}

} // namespace e2e
