// Runs fake devices until SIGINT/SIGTERM (or --seconds).
//
//   fakedevice [--count N] [--first IP] [--address IP]... [--udp-port P] [--tcp-port P]
//              [--user NAME] [--password PW] [--first-login] [--broadcast] [--seconds S]
//              [--reply-delay MS]
//
// --count N --first 127.0.0.10 makes devices at 127.0.0.10 .. 127.0.0.(9+N);
// --address may be repeated instead. Prints one "device IP" line per device once
// it listens, then "ready".

#include "FakeDevice.h"

#include <arpa/inet.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace
{
volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

int Usage()
{
    std::fprintf(stderr,
        "usage: fakedevice [--count N] [--first IP] [--address IP]... [--udp-port P] [--tcp-port P]\n"
        "                  [--user NAME] [--password PW] [--first-login] [--broadcast] [--seconds S]\n"
        "                  [--reply-delay MS]\n");
    return 2;
}

bool Number(const char* text, long low, long high, long& out)
{
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end && *end == 0 && out >= low && out <= high;
}
} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> addresses;
    long count = 1, udpPort = fakedevice::kDefaultUdpPort, tcpPort = fakedevice::kDefaultTcpPort, seconds = 0;
    long replyDelayMs = 0;
    std::string first = "127.0.0.10", user = "admin", password = "admin123";
    bool firstLogin = false, broadcast = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--count" && hasValue) {
            if (!Number(argv[++i], 1, 60000, count))
                return Usage();
        } else if (arg == "--first" && hasValue) {
            first = argv[++i];
        } else if (arg == "--address" && hasValue) {
            addresses.push_back(argv[++i]);
        } else if (arg == "--udp-port" && hasValue) {
            if (!Number(argv[++i], 1, 65535, udpPort))
                return Usage();
        } else if (arg == "--tcp-port" && hasValue) {
            if (!Number(argv[++i], 1, 65535, tcpPort))
                return Usage();
        } else if (arg == "--seconds" && hasValue) {
            if (!Number(argv[++i], 1, 86400, seconds))
                return Usage();
        } else if (arg == "--user" && hasValue) {
            user = argv[++i];
        } else if (arg == "--password" && hasValue) {
            password = argv[++i];
        } else if (arg == "--first-login") {
            firstLogin = true;
        } else if (arg == "--reply-delay" && hasValue) {
            if (!Number(argv[++i], 0, 30000, replyDelayMs))
                return Usage();
        } else if (arg == "--broadcast") {
            broadcast = true;
        } else {
            return Usage();
        }
    }
    if (addresses.empty()) {
        in_addr start {};
        if (inet_pton(AF_INET, first.c_str(), &start) != 1)
            return Usage();
        for (long i = 0; i < count; ++i) {
            in_addr a {};
            a.s_addr = htonl(ntohl(start.s_addr) + static_cast<uint32_t>(i));
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &a, text, sizeof text);
            addresses.push_back(text);
        }
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    fakedevice::FakeDevice::Options options;
    options.udpPort = static_cast<uint16_t>(udpPort);
    options.broadcast = broadcast;
    std::vector<std::unique_ptr<fakedevice::FakeDevice>> devices;
    for (const std::string& ip : addresses) {
        // MAC, id and name follow the address, so that devices of several programs never clash.
        in_addr a {};
        if (inet_pton(AF_INET, ip.c_str(), &a) != 1)
            return Usage();
        fakedevice::DeviceState state = fakedevice::LoopbackDeviceState(ip, int(ntohl(a.s_addr) & 0xFFFFFF));
        state.mediaPort = static_cast<uint16_t>(tcpPort);
        state.users = { { user, firstLogin ? std::string() : password } };
        state.firstLogin = firstLogin;
        devices.push_back(std::make_unique<fakedevice::FakeDevice>(state, options));
        if (replyDelayMs > 0) {
            fakedevice::Faults faults;
            faults.replyDelayMs = static_cast<int>(replyDelayMs);
            devices.back()->SetFaults(faults);
        }
    }
    int failed = 0;
    for (const auto& device : devices) {
        if (device->WaitListening(3000)) {
            std::printf("device %s\n", device->State().ip.c_str());
        } else {
            std::fprintf(stderr, "fakedevice: cannot listen at %s\n", device->State().ip.c_str());
            ++failed;
        }
    }
    if (failed)
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!g_stop && (seconds == 0 || std::chrono::steady_clock::now() < end))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return 0;
}
