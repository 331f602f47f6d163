#include "output_file.h"

#include "signal_cleanup.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

// As many links as Linux follows before it gives up with ELOOP.
constexpr int kMaxLinks = 40;

// Short enough that it fits beside any name that fits: a valid name of 255
// bytes with a suffix would not.
constexpr const char* kTemporaryName = ".rays-render-XXXXXX";

[[noreturn]] void fail(int error) { throw std::system_error(error, std::generic_category()); }

std::string directory_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The name a chain of symbolic links ends at, which need not exist yet: the
// file to replace, so that the links keep pointing at it.
std::string follow_links(std::string path) {
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        if (hops == kMaxLinks) fail(ELOOP);
        std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1);
        const ssize_t n = readlink(path.c_str(), target.data(), target.size());
        if (n < 0) fail(errno);
        if (static_cast<std::size_t>(n) >= target.size()) fail(ENAMETOOLONG); // grew meanwhile
        const std::string next(target.data(), static_cast<std::size_t>(n));
        path = next.starts_with('/') ? next : directory_of(path) + "/" + next;
    }
}

mode_t current_umask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

} // namespace

OutputFile::OutputFile(const std::string& path) {
    if (path == "-") {
        m_fd = STDOUT_FILENO;
        m_owns_fd = false;
        return;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) fail(errno);
    } else if (!S_ISREG(st.st_mode)) {
        // Never replace a device or a pipe with a file. A directory fails
        // here, with its own reason.
        m_fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0) fail(errno);
        return;
    }
    open_temporary_beside(follow_links(path));
}

void OutputFile::open_temporary_beside(const std::string& target) {
    struct stat old;
    const bool replacing = stat(target.c_str(), &old) == 0;
    if (!replacing && errno != ENOENT) fail(errno);

    std::string name = directory_of(target) + "/" + kTemporaryName;
    {
        const signal_cleanup::SignalsHeld held;
        m_fd = mkostemp(name.data(), O_CLOEXEC);
        if (m_fd < 0) fail(errno);
        signal_cleanup::remove_on_signal(name.c_str());
    }
    m_target = target;
    m_temporary = name;
    // mkostemp makes the file private; give it what the old file had, or what
    // a new file would get. Owner first: changing it may clear set-id bits.
    if (replacing && fchown(m_fd, old.st_uid, old.st_gid) != 0) {
        // Only root may give a file away; the group stays if we are in it,
        // and otherwise the file becomes ours, as a new one would.
        [[maybe_unused]] const int kept_group = fchown(m_fd, static_cast<uid_t>(-1), old.st_gid);
    }
    if (fchmod(m_fd, replacing ? old.st_mode & 07777 : 0666 & ~current_umask()) != 0) {
        const int error = errno;
        close(m_fd);
        m_fd = -1;
        forget_temporary();
        fail(error);
    }
}

void OutputFile::commit() {
    if (m_temporary.empty()) {
        if (m_owns_fd) {
            const int fd = m_fd;
            m_fd = -1;
            if (close(fd) != 0) fail(errno);
        }
        return;
    }
    // Synced first, so that a crash just after never leaves an empty file
    // where the old one was.
    if (fsync(m_fd) != 0) fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0) fail(errno);
    const signal_cleanup::SignalsHeld held;
    if (rename(m_temporary.c_str(), m_target.c_str()) != 0) fail(errno);
    signal_cleanup::remove_on_signal(nullptr);
    m_temporary.clear();
}

void OutputFile::forget_temporary() {
    const signal_cleanup::SignalsHeld held;
    unlink(m_temporary.c_str());
    signal_cleanup::remove_on_signal(nullptr);
    m_temporary.clear();
}

OutputFile::~OutputFile() {
    if (m_fd >= 0 && m_owns_fd) close(m_fd);
    if (!m_temporary.empty()) forget_temporary();
}
