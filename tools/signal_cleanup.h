// Removing rays-render's temporary file when a signal ends the program, so
// that only SIGKILL, which cannot be caught, can leave one behind.
#pragma once

#include <csignal>

namespace signal_cleanup {

// Catches every signal whose default ends the program, except those ignored
// at start (as under nohup), which stay ignored. SIGXFSZ is ignored, so that
// a write past the file size limit fails with EFBIG and can be reported.
void install();

// The file a signal removes before the program dies of it, named within the
// directory `dir` (a descriptor); nullptr for none. Call with the signals
// held, so that the handler never sees half a name.
void remove_on_signal(int dir, const char* name);

// Holds the caught signals for the life of the object: a file is created or
// renamed and its name recorded or forgotten as one step.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t m_previous;
};

} // namespace signal_cleanup
