#include "tests/windows/childprocess.h"

#include <cstdio>
#include <vector>

namespace {

constexpr DWORD kChildLimitMs = 60000;

}  // namespace

std::string thisProgramPath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

int runAndWait(const std::string& commandLine, const std::string& directory)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process))
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, kChildLimitMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, static_cast<UINT>(-1));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

int runHiddenTest(const std::string& program, const std::string& name, const std::string& directory)
{
    return runAndWait("\"" + program + "\" --gtest_also_run_disabled_tests --gtest_filter=" + name,
                      directory);
}

int runHiddenTestWithAdapter(unsigned vendorId, unsigned deviceId, const std::string& test)
{
    const std::string program = thisProgramPath();
    char name[64];
    std::snprintf(name, sizeof name, "adapter-%04x-%lu.exe", vendorId, GetCurrentProcessId());
    const std::string copy = directoryOf(program) + "\\" + name;
    if (!CopyFileA(program.c_str(), copy.c_str(), FALSE)) return -1;
    const std::string application = std::string("Software\\Wine\\AppDefaults\\") + name;
    const std::string direct3d = application + "\\Direct3D";
    DWORD vendor = vendorId, device = deviceId;
    RegSetKeyValueA(HKEY_CURRENT_USER, direct3d.c_str(), "VideoPciVendorID", REG_DWORD, &vendor,
                    sizeof vendor);
    RegSetKeyValueA(HKEY_CURRENT_USER, direct3d.c_str(), "VideoPciDeviceID", REG_DWORD, &device,
                    sizeof device);
    const int code = runHiddenTest(copy, test);
    RegDeleteTreeA(HKEY_CURRENT_USER, application.c_str());
    DeleteFileA(copy.c_str());
    return code;
}

ChildProcess::~ChildProcess() { finish(); }

bool ChildProcess::start(const std::string& commandLine)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE childInput = nullptr, childOutput = nullptr;
    if (!CreatePipe(&childInput, &input_, &inherit, 0)) return false;
    if (!CreatePipe(&output_, &childOutput, &inherit, 0)) return false;
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process_);
    CloseHandle(childInput);
    CloseHandle(childOutput);
    return started != FALSE;
}

bool ChildProcess::readLine(std::string& line)
{
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending_.erase(0, end + 1);
            return true;
        }
        char buffer[256];
        DWORD read = 0;
        if (!output_ || !ReadFile(output_, buffer, sizeof buffer, &read, nullptr) || read == 0)
            return false;
        pending_.append(buffer, read);
    }
}

int ChildProcess::finish()
{
    if (input_) CloseHandle(input_);
    input_ = nullptr;
    DWORD code = static_cast<DWORD>(-1);
    if (process_.hProcess) {
        if (WaitForSingleObject(process_.hProcess, kChildLimitMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(process_.hProcess, &code);
        else
            TerminateProcess(process_.hProcess, static_cast<UINT>(-1));
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
        process_ = PROCESS_INFORMATION{};
    }
    if (output_) CloseHandle(output_);
    output_ = nullptr;
    return static_cast<int>(code);
}
