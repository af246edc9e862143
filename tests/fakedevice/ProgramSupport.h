#pragma once

// What the fake-device programs share: number arguments, the run of
// addresses they serve, the "device IP" and "ready" lines, and the wait for
// SIGINT/SIGTERM or the end of --seconds.

#include <arpa/inet.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace fakedevice::program
{
inline bool Number(const char* text, long low, long high, long& out)
{
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end && *end == 0 && out >= low && out <= high;
}

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

// Prints a line for each device once it listens, then "ready"; false when one
// does not listen within waitMs.
template <typename Devices> bool ReportListening(const Devices& devices, int waitMs, const char* program)
{
    int failed = 0;
    for (const auto& device : devices) {
        if (device->WaitListening(waitMs)) {
            std::printf("device %s\n", device->State().ip.c_str());
        } else {
            std::fprintf(stderr, "%s: cannot listen at %s\n", program, device->State().ip.c_str());
            ++failed;
        }
    }
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
