// A child process for end-to-end tests: started with extra environment,
// its output captured in files, waited for with a time limit, never left behind.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

class Process {
public:
    // `env` adds or, with an empty value, removes variables.
    Process(std::vector<std::string> argv, std::map<std::string, std::string> env = {});
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process(); // kills the process if it still runs

    [[nodiscard]] int pid() const { return m_pid; }
    // The exit status, or nullopt if it is still running after `limit`.
    // A death by signal gives 128 + the signal number.
    std::optional<int> wait_for_exit(std::chrono::milliseconds limit);
    [[nodiscard]] bool running();
    void signal(int sig);
    [[nodiscard]] std::string stdout_text() const;
    [[nodiscard]] std::string stderr_text() const;

private:
    int m_pid = -1;
    std::optional<int> m_status;
    std::string m_out_path, m_err_path;
};

// Runs a shell command to completion and returns what it printed on stdout.
std::string run_command(const std::string& command);

} // namespace e2e
