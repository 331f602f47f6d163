// SIGINT, SIGTERM and SIGHUP end the program quietly with status 0, wherever
// they land.
//
// A handler only writes to a pipe that the event loop waits on, so a tick
// being drawn finishes and the loop ends cleanly. While the program is in a
// call that may wait on the display server (a round trip at start, a write to
// a server that has stopped reading), the handler ends the process itself:
// nothing it would wait for is worth a hang. Signals ignored when the program
// started (nohup) stay ignored.
#pragma once

#include <csignal>

namespace runtime {

class QuitSignals {
public:
    QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;
    ~QuitSignals();

    // Until this is called a quit signal ends the process at once; from
    // then on it makes fd() readable.
    void deliver_to_loop();
    // Readable once a quit signal has come.
    [[nodiscard]] int fd() const { return m_read_fd; }

    // Marks a stretch that may wait on the display server: a quit signal
    // that lands inside it ends the process at once.
    class MayBlock {
    public:
        MayBlock();
        MayBlock(const MayBlock&) = delete;
        MayBlock& operator=(const MayBlock&) = delete;
        ~MayBlock();

    private:
        bool m_was;
    };

    // Holds the quit signals off for a stretch that must not be cut short
    // (a shared-memory segment between its making and its removal); one
    // that comes meanwhile lands when the stretch ends.
    class Held {
    public:
        Held();
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;
        ~Held();

    private:
        sigset_t m_old;
    };

private:
    int m_read_fd = -1;
};

} // namespace runtime
