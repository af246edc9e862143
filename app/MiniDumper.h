#pragma once

#include <climits>
#include <csignal>

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

    // The local time's offset from UTC at that moment, as the time zone of
    // start-up gives it (daylight-saving changes included, for years ahead);
    // async-signal-safe.
    long UtcOffsetAt(long long utcSeconds) const;

private:
    void WriteDump(int signalNumber, const siginfo_t* info);
    void FindOffsetChanges();

    // From each moment on (UTC seconds), the offset in force; sorted.
    struct OffsetChange
    {
        long long from;
        long offset;
    };
    static constexpr int kMaxOffsetChanges = 64;

    const siginfo_t* m_exceptionInfo = nullptr;
    char m_dumpFilePath[PATH_MAX] = {};
    char m_moduleDirectory[PATH_MAX] = {};
    char m_dumpDirectory[PATH_MAX] = {};
    char m_appName[PATH_MAX] = {};
    int m_debugOutput = 0;
    OffsetChange m_offsetChanges[kMaxOffsetChanges] = {};
    int m_offsetChangeCount = 0;
};

// Gives the calling thread an alternate signal stack for as long as the object
// lives, so that a stack overflow on that thread still reaches the handler.
// Threads that run device work make one; the main thread has the dumper's own.
class ThreadSignalStack
{
public:
    ThreadSignalStack();
    ~ThreadSignalStack();

    ThreadSignalStack(const ThreadSignalStack&) = delete;
    ThreadSignalStack& operator=(const ThreadSignalStack&) = delete;

private:
    void* m_stack = nullptr;
};
