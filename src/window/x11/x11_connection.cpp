#include "window/x11/x11_connection.h"

#include "form/printable.h"
#include "form/status.h"
#include "window/shortage.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <unistd.h>

namespace runtime {
namespace {

// libxcb writes the server's reason for refusing a connection straight to
// stderr. It is caught in a pipe here and becomes part of our message.
class StderrCapture {
public:
    StderrCapture() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
        m_saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        if (m_saved < 0 || dup2(fds[1], STDERR_FILENO) < 0) {
            close(fds[0]);
            close(fds[1]);
            return;
        }
        close(fds[1]);
        m_read = fds[0];
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    ~StderrCapture() { restore(); }

    // Puts stderr back and returns what was written meanwhile.
    std::string restore() {
        std::string text;
        if (m_saved >= 0) {
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
            m_saved = -1;
        }
        if (m_read >= 0) {
            char buffer[512];
            ssize_t n;
            while ((n = read(m_read, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
            close(m_read);
            m_read = -1;
        }
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        return text;
    }

private:
    int m_saved = -1, m_read = -1;
};

std::string connection_failure(int code, const std::string& display, const std::string& server_said, int error) {
    const std::string name = "X display " + display;
    switch (code) {
    case XCB_CONN_CLOSED_PARSE_ERR: return "cannot understand the display name '" + display + "'";
    case XCB_CONN_CLOSED_INVALID_SCREEN: return name + " has no such screen";
    case XCB_CONN_CLOSED_MEM_INSUFFICIENT: return "out of memory connecting to " + name;
    case XCB_CONN_CLOSED_EXT_NOTSUPPORTED: return name + " lacks an extension the connection needs";
    default:
        if (!server_said.empty()) return name + " refused the connection: " + printable(server_said);
        if (const auto shortage = shortage_reason(error)) return "cannot connect to " + name + ": " + *shortage;
        return "cannot connect to " + name + " (no X server there, or it refused us)";
    }
}

} // namespace

XcbConnection connect_to_display(int& screen) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) throw RuntimeError("open display", "no display: DISPLAY is not set");
    StderrCapture capture;
    errno = 0;
    XcbConnection c(xcb_connect(nullptr, &screen));
    const int error = errno;
    const std::string said = capture.restore();
    if (const int code = xcb_connection_has_error(c.get()); code != 0)
        throw RuntimeError("open display", connection_failure(code, printable(display), said, error));
    return c;
}

RuntimeError connection_broken(xcb_connection_t* c) {
    switch (xcb_connection_has_error(c)) {
    case XCB_CONN_CLOSED_MEM_INSUFFICIENT: return RuntimeError("X server", "out of memory");
    case XCB_CONN_CLOSED_REQ_LEN_EXCEED: return RuntimeError("X server", "a request too long for the server");
    case XCB_CONN_CLOSED_FDPASSING_FAILED: return RuntimeError("X server", "passing a file descriptor failed");
    default: return RuntimeError("X server", "connection lost");
    }
}

void check_connection(xcb_connection_t* c) {
    if (xcb_connection_has_error(c)) throw connection_broken(c);
}

bool server_reads(xcb_connection_t* c) {
    pollfd connection{xcb_get_file_descriptor(c), POLLOUT, 0};
    return poll(&connection, 1, 0) == 1 && (connection.revents & POLLOUT);
}

Atoms intern_atoms(xcb_connection_t* c) {
    static constexpr std::array<std::string_view, 15> kNames = {
        "WM_PROTOCOLS",          "WM_DELETE_WINDOW",         "WM_CHANGE_STATE",
        "UTF8_STRING",           "_NET_WM_NAME",             "_NET_WM_ICON",
        "_NET_WM_PID",           "_NET_WM_STATE",            "_NET_WM_STATE_MAXIMIZED_VERT",
        "_NET_WM_STATE_MAXIMIZED_HORZ", "_NET_WM_STATE_HIDDEN", "_NET_SUPPORTED",
        "_NET_SUPPORTING_WM_CHECK", "_NET_WORKAREA", "_NET_WM_STATE_FULLSCREEN"};
    std::array<xcb_intern_atom_cookie_t, kNames.size()> cookies;
    for (std::size_t i = 0; i < kNames.size(); ++i)
        cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(kNames[i].size()), kNames[i].data());
    std::array<xcb_atom_t, kNames.size()> atoms{};
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookies[i], nullptr));
        if (!reply) throw connection_broken(c);
        atoms[i] = reply->atom;
    }
    return {atoms[0], atoms[1], atoms[2],  atoms[3],  atoms[4],  atoms[5],  atoms[6],
            atoms[7], atoms[8], atoms[9], atoms[10], atoms[11], atoms[12], atoms[13], atoms[14]};
}

std::string describe_x_error(const xcb_generic_error_t& error) {
    static constexpr const char* kNames[] = {
        "",          "bad request", "bad value",  "bad window",       "bad pixmap", "bad atom",
        "bad cursor", "bad font",   "bad match",  "bad drawable",     "bad access", "out of memory",
        "bad colormap", "bad graphics context", "bad id choice", "bad name", "bad length",
        "not implemented"};
    const char* name = error.error_code < std::size(kNames) ? kNames[error.error_code] : "extension error";
    return std::string("request ") + std::to_string(error.major_code) + "." + std::to_string(error.minor_code) +
           " failed: " + name + " (" + std::to_string(error.error_code) + ")";
}

} // namespace runtime
