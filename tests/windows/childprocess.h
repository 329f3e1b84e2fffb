// Other processes for the tests: a copy of this test program run with one of
// its hidden (DISABLED_) tests, and helper programs whose output is read line
// by line.
#pragma once

#include <windows.h>

#include <string>

// The full path of this program.
std::string thisProgramPath();
std::string directoryOf(const std::string& path);

// Runs a command line in `directory` (empty: ours) with our environment and
// standard streams; its exit code, or -1 when it did not start.
int runAndWait(const std::string& commandLine, const std::string& directory = {});

// Runs this program's hidden test `name` (a DISABLED_ one) in the program at
// `program` (a copy of this one); its exit code.
int runHiddenTest(const std::string& program, const std::string& name,
                  const std::string& directory = {});

// Runs this program's hidden test `name` in a copy of this program (beside
// it, under a name of its own) for which Wine reports the given display
// adapter (Wine's per-program Direct3D settings); its exit code.
int runHiddenTestWithAdapter(unsigned vendorId, unsigned deviceId, const std::string& name);

// A helper program whose standard output we read and whose standard input we
// hold open: closing it tells the helper to end.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // closes its input and waits for it
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::string& commandLine);
    // The next line of its output without the line end; false at its end.
    bool readLine(std::string& line);
    // Closes its input and returns its exit code (-1 when it had to be ended).
    int finish();

private:
    PROCESS_INFORMATION process_{};
    HANDLE input_ = nullptr;   // our end of its standard input
    HANDLE output_ = nullptr;  // our end of its standard output
    std::string pending_;
};
