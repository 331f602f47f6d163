#include "window/quit_signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace runtime {
namespace {

constexpr int kQuitSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<bool> g_may_block{true};
int g_write_fd = -1;

extern "C" void on_quit_signal(int) {
    if (g_may_block.load(std::memory_order_relaxed) || g_write_fd < 0) _exit(0);
    // The code the signal interrupted may be about to read errno.
    const int saved_errno = errno;
    const char byte = 1;
    // A full pipe already says everything.
    (void)!write(g_write_fd, &byte, 1);
    errno = saved_errno;
}

} // namespace

QuitSignals::QuitSignals() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_read_fd = fds[0];
        g_write_fd = fds[1];
    }
    for (int sig : kQuitSignals) {
        struct sigaction old{};
        sigaction(sig, nullptr, &old);
        if (old.sa_handler == SIG_IGN) continue;
        struct sigaction action{};
        action.sa_handler = on_quit_signal;
        sigfillset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(sig, &action, nullptr);
    }
}

QuitSignals::~QuitSignals() {
    // From here on the program is leaving anyway.
    g_may_block = true;
}

void QuitSignals::deliver_to_loop() {
    if (m_read_fd >= 0) g_may_block = false;
}

QuitSignals::Held::Held() {
    sigset_t quit;
    sigemptyset(&quit);
    for (int sig : kQuitSignals) sigaddset(&quit, sig);
    pthread_sigmask(SIG_BLOCK, &quit, &m_old);
}
QuitSignals::Held::~Held() { pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }

QuitSignals::MayBlock::MayBlock() : m_was(g_may_block.exchange(true)) {}
QuitSignals::MayBlock::~MayBlock() { g_may_block = m_was; }

} // namespace runtime
