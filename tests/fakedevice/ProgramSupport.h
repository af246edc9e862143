#pragma once

// What the fake-device programs share: their options, the run of addresses
// they serve, the "device IP" and "ready" lines, and the wait for
// SIGINT/SIGTERM or the end of --seconds.

#include <arpa/inet.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace fakedevice::program
{
inline bool Number(const char* text, long low, long high, long& out)
{
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end && *end == 0 && out >= low && out <= high;
}

// A program's options, each named once with where its value goes; Parse
// is false on an unknown option, a missing value or a number out of range.
class Options
{
public:
    void Number(const char* name, long low, long high, long& out, bool* given = nullptr)
    {
        Add(name, true, [low, high, &out, given](const char* value) {
            if (given)
                *given = true;
            return program::Number(value, low, high, out);
        });
    }
    // Several options of the same range.
    void Numbers(std::initializer_list<std::pair<const char*, long*>> options, long low, long high)
    {
        for (const auto& option : options)
            Number(option.first, low, high, *option.second);
    }
    void Text(const char* name, std::string& out)
    {
        Add(name, true, [&out](const char* value) {
            out = value;
            return true;
        });
    }
    // May be given again: each value is added.
    void Texts(const char* name, std::vector<std::string>& out)
    {
        Add(name, true, [&out](const char* value) {
            out.push_back(value);
            return true;
        });
    }
    void Flag(const char* name, bool& out)
    {
        Add(name, false, [&out](const char*) {
            out = true;
            return true;
        });
    }

    bool Parse(int argc, char** argv) const
    {
        for (int i = 1; i < argc; ++i) {
            const Option* option = Find(argv[i]);
            if (!option || (option->hasValue && i + 1 >= argc))
                return false;
            if (!option->take(option->hasValue ? argv[++i] : nullptr))
                return false;
        }
        return true;
    }

private:
    struct Option
    {
        std::string name;
        bool hasValue;
        std::function<bool(const char*)> take;
    };
    void Add(const char* name, bool hasValue, std::function<bool(const char*)> take)
    {
        m_options.push_back({ name, hasValue, std::move(take) });
    }
    const Option* Find(const std::string& name) const
    {
        for (const Option& option : m_options)
            if (option.name == name)
                return &option;
        return nullptr;
    }

    std::vector<Option> m_options;
};

// first and the count - 1 addresses after it; false when first is no address.
inline bool AddressRun(const std::string& first, long count, std::vector<std::string>& addresses)
{
    in_addr start {};
    if (inet_pton(AF_INET, first.c_str(), &start) != 1)
        return false;
    for (long i = 0; i < count; ++i) {
        in_addr a {};
        a.s_addr = htonl(ntohl(start.s_addr) + static_cast<uint32_t>(i));
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &a, text, sizeof text);
        addresses.push_back(text);
    }
    return true;
}

// The low 24 bits of an address, which the devices' MAC, id and name follow;
// -1 when ip is no address.
inline int AddressNumber(const std::string& ip)
{
    in_addr a {};
    if (inet_pton(AF_INET, ip.c_str(), &a) != 1)
        return -1;
    return static_cast<int>(ntohl(a.s_addr) & 0xFFFFFF);
}

// Called before the devices start their threads, which inherit the mask: the
// stop signals then wait for WaitForStop instead of ending the process.
inline sigset_t BlockStopSignals()
{
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    return stop;
}

// Prints a "device IP" line (with " kind" after it when kind is given) for
// each device once it listens; counts those that do not within waitMs.
template <typename Devices>
int ReportListening(const Devices& devices, int waitMs, const char* program, const char* kind = nullptr)
{
    int failed = 0;
    for (const auto& device : devices) {
        const char* ip = device->State().ip.c_str();
        if (device->WaitListening(waitMs)) {
            if (kind)
                std::printf("device %s %s\n", ip, kind);
            else
                std::printf("device %s\n", ip);
        } else {
            if (kind)
                std::fprintf(stderr, "%s: cannot listen at %s (%s)\n", program, ip, kind);
            else
                std::fprintf(stderr, "%s: cannot listen at %s\n", program, ip);
            ++failed;
        }
    }
    return failed;
}

// "ready" once every device listens.
inline bool ReportReady(int failed)
{
    if (failed)
        return false;
    std::printf("ready\n");
    std::fflush(stdout);
    return true;
}

// Until a stop signal comes, or seconds have passed (0: no end).
inline void WaitForStop(const sigset_t& stop, long seconds)
{
    if (seconds == 0) {
        int signal = 0;
        while (sigwait(&stop, &signal) != 0) { }
        return;
    }
    timespec end {};
    clock_gettime(CLOCK_MONOTONIC, &end);
    end.tv_sec += seconds;
    for (;;) {
        timespec now {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        timespec left { end.tv_sec - now.tv_sec, end.tv_nsec - now.tv_nsec };
        if (left.tv_nsec < 0) {
            left.tv_nsec += 1000000000L;
            --left.tv_sec;
        }
        if (left.tv_sec < 0)
            return;
        if (sigtimedwait(&stop, nullptr, &left) >= 0 || errno != EINTR)
            return;
    }
}
} // namespace fakedevice::program
