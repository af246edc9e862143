#include "MiniDumper.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// Everything the signal handler calls must be async-signal-safe: no malloc,
// no stdio, no locale. Texts are built in fixed buffers by the helpers below.
namespace
{
std::atomic<MiniDumper*> g_dumper { nullptr };
std::atomic<int> g_writing { 0 };

constexpr int kFatalSignals[] = { SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT };
constexpr size_t kAltStackSize = 64 * 1024;
alignas(16) char g_altStack[kAltStackSize];

class Text
{
public:
    Text(char* buffer, size_t size)
        : m_buffer(buffer)
        , m_size(size)
    {
        m_buffer[0] = '\0';
    }

    Text& Add(const char* text)
    {
        while (*text && m_length + 1 < m_size)
            m_buffer[m_length++] = *text++;
        m_buffer[m_length] = '\0';
        return *this;
    }

    // Decimal, padded with zeros (or spaces) to width.
    Text& Number(long long value, int width = 0, char pad = '0')
    {
        char digits[24];
        int count = 0;
        const bool negative = value < 0;
        unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : value;
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude && count < 23);
        if (negative)
            Add("-");
        for (int i = count; i < width; ++i) {
            const char padText[2] = { pad, '\0' };
            Add(padText);
        }
        while (count > 0) {
            const char digit[2] = { digits[--count], '\0' };
            Add(digit);
        }
        return *this;
    }

    Text& Hex(unsigned long long value)
    {
        char digits[20];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value & 0xf];
            value >>= 4;
        } while (value && count < 19);
        Add("0x");
        while (count > 0) {
            const char digit[2] = { digits[--count], '\0' };
            Add(digit);
        }
        return *this;
    }

    const char* Data() const { return m_buffer; }
    size_t Length() const { return m_length; }

private:
    char* m_buffer;
    size_t m_size;
    size_t m_length = 0;
};

void WriteAll(int fd, const char* data, size_t length)
{
    while (length > 0) {
        const ssize_t written = write(fd, data, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        length -= static_cast<size_t>(written);
    }
}

void WriteText(int fd, const Text& text)
{
    WriteAll(fd, text.Data(), text.Length());
}

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(long long days, int* year, int* month, int* day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

const char* SignalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

void DebugOutput(const char* message)
{
    char buffer[PATH_MAX + 256];
    Text text(buffer, sizeof buffer);
    text.Add("-----------MiniDumper-----------\n").Add(message).Add("\n");
    WriteText(STDERR_FILENO, text);
}

void CopyFile(int out, const char* path)
{
    const int in = open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        WriteAll(out, buffer, static_cast<size_t>(got));
    }
    close(in);
}
} // namespace

MiniDumper::MiniDumper(bool debugOutput)
{
    m_dumpDirectory[0] = '\0';
    m_debugOutput = debugOutput ? 1 : 0;

    // Work that is not async-signal-safe is done here, before any crash.
    const ssize_t length = readlink("/proc/self/exe", m_moduleDirectory, sizeof m_moduleDirectory - 1);
    if (length > 0) {
        m_moduleDirectory[length] = '\0';
        char* slash = strrchr(m_moduleDirectory, '/');
        if (slash) {
            Text name(m_appName, sizeof m_appName);
            name.Add(slash + 1);
            if (char* dot = strrchr(m_appName, '.'))
                *dot = '\0';
            slash[1] = '\0';
        }
    } else {
        m_moduleDirectory[0] = '\0';
    }
    FindOffsetChanges();
    void* frames[1];
    backtrace(frames, 1); // loads the unwinder now, not inside the handler

    stack_t altStack {};
    altStack.ss_sp = g_altStack;
    altStack.ss_size = sizeof g_altStack;
    sigaltstack(&altStack, nullptr);

    g_dumper.store(this);
    struct sigaction action
    {
    };
    action.sa_sigaction = &MiniDumper::TopLevelFilter;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kFatalSignals)
        sigaction(signalNumber, &action, nullptr);
}

namespace
{
long OffsetAt(time_t when)
{
    struct tm local;
    return localtime_r(&when, &local) ? local.tm_gmtoff : 0;
}
} // namespace

// The time zone functions are not async-signal-safe: the offsets of the years
// ahead are found now, day by day, each change to its second.
void MiniDumper::FindOffsetChanges()
{
    constexpr long long kDay = 86400;
    constexpr long long kYears = 12;
    const long long start = static_cast<long long>(time(nullptr)) - kDay;
    long offset = OffsetAt(static_cast<time_t>(start));
    m_offsetChanges[0] = { start, offset };
    m_offsetChangeCount = 1;
    for (long long day = start; day < start + kYears * 366 * kDay && m_offsetChangeCount < kMaxOffsetChanges;
         day += kDay) {
        const long next = OffsetAt(static_cast<time_t>(day + kDay));
        if (next == offset)
            continue;
        // The first second of the day after day that has the new offset.
        long long before = day;
        long long after = day + kDay;
        while (after - before > 1) {
            const long long middle = before + (after - before) / 2;
            if (OffsetAt(static_cast<time_t>(middle)) == offset)
                before = middle;
            else
                after = middle;
        }
        offset = OffsetAt(static_cast<time_t>(after));
        m_offsetChanges[m_offsetChangeCount++] = { after, offset };
        // The scan goes on from the change: a second one within the day is found too.
        day = after - kDay;
    }
}

long MiniDumper::UtcOffsetAt(long long utcSeconds) const
{
    long offset = m_offsetChangeCount > 0 ? m_offsetChanges[0].offset : 0;
    for (int i = 1; i < m_offsetChangeCount && m_offsetChanges[i].from <= utcSeconds; ++i)
        offset = m_offsetChanges[i].offset;
    return offset;
}

MiniDumper::~MiniDumper()
{
    // The handler stays installed; without a dumper it falls back to the default action.
    g_dumper.store(nullptr);
}

void MiniDumper::TopLevelFilter(int signalNumber, siginfo_t* info, void* /*context*/)
{
    MiniDumper* dumper = g_dumper.load();
    if (!dumper) {
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
        return;
    }
    // Threads that crash together write one after the other; the first to
    // finish ends the process.
    while (g_writing.exchange(1) != 0) {
        const struct timespec pause = { 0, 10 * 1000 * 1000 };
        nanosleep(&pause, nullptr);
    }
    dumper->m_exceptionInfo = info;
    dumper->WriteDump(signalNumber, info);
    _exit(0);
}

void MiniDumper::WriteDump(int signalNumber, const siginfo_t* info)
{
    struct timespec now
    {
    };
    clock_gettime(CLOCK_REALTIME, &now);
    const long long local = static_cast<long long>(now.tv_sec) + UtcOffsetAt(now.tv_sec);
    long long days = local / 86400;
    long long seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);

    Text path(m_dumpFilePath, sizeof m_dumpFilePath);
    path.Add(m_dumpDirectory[0] ? m_dumpDirectory : m_moduleDirectory).Add(m_appName).Add("_");
    path.Number(year, 4, ' ').Add("_").Number(month, 2).Add("_").Number(day, 2).Add("_");
    path.Number(seconds / 3600, 2).Add("_").Number(seconds / 60 % 60, 2).Add("_").Number(seconds % 60, 2);
    path.Add(".dmp");

    const int fd = open(m_dumpFilePath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (m_debugOutput) {
            char buffer[PATH_MAX + 128];
            Text message(buffer, sizeof buffer);
            message.Add("Failed to create the mini-dump file '").Add(m_dumpFilePath).Add("' (error ");
            message.Number(errno).Add(")");
            DebugOutput(message.Data());
        }
        return;
    }

    char buffer[512];
    Text header(buffer, sizeof buffer);
    header.Add("devscan crash dump\nprogram: ").Add(m_appName).Add("\nsignal: ").Number(signalNumber);
    header.Add(" (").Add(SignalName(signalNumber)).Add(")\ncode: ").Number(info ? info->si_code : 0);
    header.Add("\nfault address: ").Hex(info ? reinterpret_cast<unsigned long long>(info->si_addr) : 0);
    header.Add("\npid: ").Number(getpid()).Add("\n\nstack:\n");
    WriteText(fd, header);

    void* frames[64];
    const int frameCount = backtrace(frames, 64);
    backtrace_symbols_fd(frames, frameCount, fd);

    const char mapsTitle[] = "\nmemory map:\n";
    WriteAll(fd, mapsTitle, sizeof mapsTitle - 1);
    CopyFile(fd, "/proc/self/maps");
    const bool written = fsync(fd) == 0 || errno == EINVAL;
    close(fd);

    if (!written && m_debugOutput) {
        char failure[PATH_MAX + 128];
        Text message(failure, sizeof failure);
        message.Add("Failed to save the mini-dump file to '").Add(m_dumpFilePath).Add("' (error ");
        message.Number(errno).Add(")");
        DebugOutput(message.Data());
    }
}

ThreadSignalStack::ThreadSignalStack()
{
    stack_t current {};
    if (sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_DISABLE))
        return; // the thread has one already (a sanitizer's, for instance)
    void* stack = mmap(nullptr, kAltStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (stack == MAP_FAILED)
        return;
    stack_t altStack {};
    altStack.ss_sp = stack;
    altStack.ss_size = kAltStackSize;
    if (sigaltstack(&altStack, nullptr) != 0) {
        munmap(stack, kAltStackSize);
        return;
    }
    m_stack = stack;
}

ThreadSignalStack::~ThreadSignalStack()
{
    if (!m_stack)
        return;
    stack_t disable {};
    disable.ss_flags = SS_DISABLE;
    if (sigaltstack(&disable, nullptr) == 0)
        munmap(m_stack, kAltStackSize);
}
