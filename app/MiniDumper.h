#pragma once

#include <csignal>
#include <climits>

// Turns a fatal signal anywhere in the process into a dump file next to the
// executable, then ends the process with exit code 0.
class MiniDumper
{
public:
    explicit MiniDumper(bool debugOutput);
    ~MiniDumper();

    MiniDumper(const MiniDumper&) = delete;
    MiniDumper& operator=(const MiniDumper&) = delete;

    static void TopLevelFilter(int signalNumber, siginfo_t* info, void* context);

private:
    void WriteDump(int signalNumber, const siginfo_t* info);

    const siginfo_t* m_exceptionInfo = nullptr;
    char m_dumpFilePath[PATH_MAX] = {};
    char m_moduleDirectory[PATH_MAX] = {};
    char m_dumpDirectory[PATH_MAX] = {};
    char m_appName[PATH_MAX] = {};
    int m_debugOutput = 0;
    long m_utcOffsetSeconds = 0;
};
