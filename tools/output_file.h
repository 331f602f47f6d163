// Where rays-render writes its PNG.
//
// A regular file, or a name not yet taken, is written beside its target under
// a temporary name and renamed into place only once complete, so a failed or
// interrupted render never leaves a truncated file nor destroys an old one;
// the replacement keeps the old file's permissions, and its owner where the
// system allows. A file its user may not write is refused, as the shell's
// `>` would refuse it, though replacing it would only need the directory. A symbolic link is followed: the file it names is replaced,
// the link stays. Anything else that exists (a terminal, a pipe, a device) is
// written to directly, and "-" is standard output.
#pragma once

#include <string>

class OutputFile {
public:
    // Throws std::system_error with the system's reason when `path` cannot
    // be opened for writing.
    explicit OutputFile(const std::string& path);
    ~OutputFile(); // an uncommitted temporary file is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    [[nodiscard]] int fd() const { return m_fd; }

    // Makes what was written the output: synced and renamed into place.
    // Throws std::system_error if that fails, leaving the old file as it was.
    void commit();

private:
    void open_temporary_beside(const std::string& target);
    void forget_temporary();

    int m_fd = -1;
    bool m_owns_fd = true;
    // The target's directory, and names within it: short however long the
    // path, so that any target the system takes has room for a temporary.
    int m_dir = -1;
    std::string m_target;
    std::string m_temporary; // empty when writing straight to the target
};
