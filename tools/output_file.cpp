#include "output_file.h"

#include "signal_cleanup.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

// As many links as Linux follows before it gives up with ELOOP.
constexpr int kMaxLinks = 40;

// A name of its own, not a suffix: a valid name of 255 bytes with a suffix
// would not fit.
constexpr std::string_view kTemporaryPrefix = ".rays-render-";
constexpr int kTemporaryTries = 100;

[[noreturn]] void fail(int error) { throw std::system_error(error, std::generic_category()); }

std::string name_in_directory(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string random_temporary_name() {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[8] = {};
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != sizeof bytes) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        std::memcpy(bytes, &now, std::min(sizeof bytes, sizeof now));
    }
    std::string name(kTemporaryPrefix);
    for (const unsigned char b : bytes) name += kLetters[b % (sizeof kLetters - 1)];
    return name;
}

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

    m_dir = open(directory_of(target).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_dir < 0) fail(errno);
    const std::string base = name_in_directory(target);
    // Renaming over a file needs only the directory; the file's own mode
    // says whether its user meant it to be written.
    if (replacing && faccessat(m_dir, base.c_str(), W_OK, AT_EACCESS) != 0) fail(errno);
    std::string name;
    for (int tries = 0; m_fd < 0; ++tries) {
        name = random_temporary_name();
        const signal_cleanup::SignalsHeld held;
        m_fd = openat(m_dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
        if (m_fd < 0 && (errno != EEXIST || tries == kTemporaryTries)) fail(errno);
        if (m_fd >= 0) signal_cleanup::remove_on_signal(m_dir, name.c_str());
    }
    m_target = base;
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
    if (renameat(m_dir, m_temporary.c_str(), m_dir, m_target.c_str()) != 0) fail(errno);
    signal_cleanup::remove_on_signal(-1, nullptr);
    m_temporary.clear();
}

void OutputFile::forget_temporary() {
    const signal_cleanup::SignalsHeld held;
    unlinkat(m_dir, m_temporary.c_str(), 0);
    signal_cleanup::remove_on_signal(-1, nullptr);
    m_temporary.clear();
}

OutputFile::~OutputFile() {
    if (m_fd >= 0 && m_owns_fd) close(m_fd);
    if (!m_temporary.empty()) forget_temporary();
    if (m_dir >= 0) close(m_dir);
}
