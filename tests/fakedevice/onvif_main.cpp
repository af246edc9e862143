// Runs fake ONVIF devices until SIGINT/SIGTERM (or --seconds).
//
//   fakeonvif [--count N] [--first IP] [--prefix BITS] [--web-port P] [--discovery-port P]
//             [--user NAME] [--password PW] [--multicast] [--delay-ms MS] [--https]
//             [--digest] [--seconds S]
//
// --count N --first 10.213.1.1 makes devices at 10.213.1.1 and the N-1 addresses
// after it. Answers to a probe wait a random 0 to MS ms (default 500; 0 answers at
// once). --https serves the web port over TLS; --digest asks for HTTP Digest
// beside the WS-UsernameToken. Prints one "device IP" line per device once it
// listens, then "ready".

#include "FakeOnvif.h"

#include <arpa/inet.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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
        "usage: fakeonvif [--count N] [--first IP] [--prefix BITS] [--web-port P] [--discovery-port P]\n"
        "                 [--user NAME] [--password PW] [--multicast] [--delay-ms MS] [--https]\n"
        "                 [--digest] [--seconds S]\n");
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
    long count = 1, webPort = 8080, discoveryPort = fakedevice::kOnvifDiscoveryPort, delayMs = 500, seconds = 0;
    long prefix = 24;
    std::string first = "127.0.0.10", user = "admin", password = "admin123";
    bool multicast = false, https = false, digest = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--count" && hasValue) {
            if (!Number(argv[++i], 1, 1000, count))
                return Usage();
        } else if (arg == "--first" && hasValue) {
            first = argv[++i];
        } else if (arg == "--web-port" && hasValue) {
            if (!Number(argv[++i], 1, 65535, webPort))
                return Usage();
        } else if (arg == "--discovery-port" && hasValue) {
            if (!Number(argv[++i], 1, 65535, discoveryPort))
                return Usage();
        } else if (arg == "--delay-ms" && hasValue) {
            if (!Number(argv[++i], 0, 5000, delayMs))
                return Usage();
        } else if (arg == "--seconds" && hasValue) {
            if (!Number(argv[++i], 1, 86400, seconds))
                return Usage();
        } else if (arg == "--user" && hasValue) {
            user = argv[++i];
        } else if (arg == "--password" && hasValue) {
            password = argv[++i];
        } else if (arg == "--prefix" && hasValue) {
            if (!Number(argv[++i], 1, 30, prefix))
                return Usage();
        } else if (arg == "--multicast") {
            multicast = true;
        } else if (arg == "--https") {
            https = true;
        } else if (arg == "--digest") {
            digest = true;
        } else {
            return Usage();
        }
    }
    in_addr start {};
    if (inet_pton(AF_INET, first.c_str(), &start) != 1)
        return Usage();

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    fakedevice::FakeOnvif::Options options;
    options.discoveryPort = static_cast<uint16_t>(discoveryPort);
    options.multicast = multicast;
    fakedevice::OnvifFaults faults;
    faults.probeDelayMaxMs = static_cast<int>(delayMs);
    std::vector<std::unique_ptr<fakedevice::FakeOnvif>> devices;
    for (long i = 0; i < count; ++i) {
        in_addr a {};
        a.s_addr = htonl(ntohl(start.s_addr) + static_cast<uint32_t>(i));
        char ip[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &a, ip, sizeof ip);
        fakedevice::OnvifState state
            = fakedevice::OnvifStateFor(ip, static_cast<int>(ntohl(a.s_addr) & 0xffffff), static_cast<int>(prefix));
        state.webPort = static_cast<uint16_t>(webPort);
        state.https = https;
        state.httpDigest = digest;
        state.user = user;
        state.password = password;
        devices.push_back(std::make_unique<fakedevice::FakeOnvif>(state, options));
        devices.back()->SetFaults(faults);
    }
    int failed = 0;
    for (const auto& device : devices) {
        if (device->WaitListening(5000)) {
            std::printf("device %s\n", device->State().ip.c_str());
        } else {
            std::fprintf(stderr, "fakeonvif: cannot listen at %s\n", device->State().ip.c_str());
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
