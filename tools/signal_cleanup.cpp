#include "signal_cleanup.h"

#include <climits>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace signal_cleanup {
namespace {

// Signals whose default action ends the process; the real-time ones too.
constexpr int kFatalSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS,
                                 SIGFPE,  SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE,   SIGALRM, SIGTERM,
                                 SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSYS};

sigset_t g_caught;
int g_dir = -1;
char g_name[NAME_MAX + 1];
volatile sig_atomic_t g_armed = 0;

void remove_and_die(int sig) {
    if (g_armed) unlinkat(g_dir, g_name, 0);
    // Dying of the signal itself tells the parent what happened. It stays
    // blocked until this handler returns, and then takes its default action.
    signal(sig, SIG_DFL);
    raise(sig);
}

void catch_unless_ignored(int sig) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = remove_and_die;
    sigfillset(&action.sa_mask);
    if (sigaction(sig, &action, nullptr) == 0) sigaddset(&g_caught, sig);
}

} // namespace

void install() {
    sigemptyset(&g_caught);
    for (const int sig : kFatalSignals) catch_unless_ignored(sig);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) catch_unless_ignored(sig);
    signal(SIGXFSZ, SIG_IGN);
}

void remove_on_signal(int dir, const char* name) {
    g_armed = 0;
    if (!name) return;
    const std::size_t length = std::strlen(name);
    if (length >= sizeof g_name) return; // no such file could have been created
    std::memcpy(g_name, name, length + 1);
    g_dir = dir;
    g_armed = 1;
}

SignalsHeld::SignalsHeld() { pthread_sigmask(SIG_BLOCK, &g_caught, &m_previous); }

SignalsHeld::~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }

} // namespace signal_cleanup
