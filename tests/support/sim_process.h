// kline-sim as a process for end-to-end tests: started with options, its pseudo-terminal's
// name read from its first line of output, its state file read back, stopped with SIGTERM.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testing_support {

class SimProcess {
  public:
    // The simulator's standard error (its trace with --trace) goes to `stderrPath`.
    SimProcess(const std::string& program, std::vector<std::string> options,
               const std::string& stderrPath = "/dev/null");
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Ends the process with SIGTERM; its exit status, or -1.
    int Stop();

    std::string portName;  // "pts/N", as typed into the connection dialog
    std::string path;      // "/dev/pts/N"

  private:
    std::string ReadLine();
    pid_t pid_ = -1;
    int stdout_ = -1;
    int status_ = -1;
};

// The whole text of a file ("" when it cannot be read).
std::string ReadTextFile(const std::string& path);

}  // namespace testing_support
