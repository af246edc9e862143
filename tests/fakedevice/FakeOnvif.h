#pragma once

// The fake device's ONVIF side: a WS-Discovery responder (unicast at its own
// address, and the multicast group when asked) and the device-management SOAP
// endpoint on its web port, checking the WS-UsernameToken digest, applying
// network changes to its state (it then answers at the new address and port),
// with fault injection. Every public function is thread-safe; the destructor
// stops and joins all threads.

#include "HttpServer.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fakedevice
{
inline constexpr uint16_t kOnvifDiscoveryPort = 3702;

struct OnvifState
{
    std::string ip = "127.0.0.2";
    int prefixLength = 8;
    std::string gateway = "127.0.0.1";
    std::string dns = "127.0.0.1";
    uint16_t webPort = 8080;
    bool dhcp = false;
    std::string user = "admin";
    std::string password = "admin123";
    std::string endpoint = "urn:uuid:5a560000-0000-4000-8000-000000000002"; // EndpointReference
    std::string name = "Camera";
    std::string hardware = "ZV-IPC-2000";
    std::string manufacturer = "ZV";
    std::string mac = "02:5a:56:00:00:02";
    std::string firmware = "V4.2.1";
    std::string serial = "ZV0000000002";
    std::string interfaceToken = "eth0";
    int64_t clockOffsetSeconds = 0; // the device's clock minus the real one
    int createdWindowSeconds = 300; // how far a token's creation time may be off the device's clock
    bool refuseReplayedNonce = true; // a nonce and creation time seen before are refused
    bool rebootNeeded = false; // network changes wait for SystemReboot
    int reboots = 0;
};

// A canned reply for one operation, sent instead of the device's own.
struct OnvifReply
{
    int status = 200;
    std::string body;
    size_t fillerBytes = 0; // that many more body bytes
    int delayMs = 0; // before answering
};

struct OnvifFaults
{
    bool noProbeAnswer = false;
    int probeDelayMaxMs = 0; // each answer waits a random time up to this
    int probeCopies = 1; // datagrams per answer, 50 ms apart
    std::string probeReply; // not empty: sent as the answer instead of the ProbeMatches message
    std::string xaddrs; // not empty: the XAddrs text of the answer
    bool timeNeedsAuth = false;
    bool silentAfterConnect = false; // after the first authenticated GetDeviceInformation, nothing is answered
    std::map<std::string, OnvifReply> replies; // by operation name ("GetNetworkInterfaces")
};

struct OnvifRequest
{
    std::string operation; // local name of the body's element
    bool tokenSent = false;
    bool authenticated = false; // the token checked out
    std::string authError; // why it did not
    std::string user;
    std::string created;
    std::string body;
};

class FakeOnvif
{
public:
    struct Options
    {
        uint16_t discoveryPort = kOnvifDiscoveryPort;
        // Also join 239.255.255.250 on the interface of the address (namespace LANs only).
        bool multicast = false;
        // Puts a new address on the device's interface before it moves there; false refuses the move.
        std::function<bool(const std::string& ip, int prefixLength)> addAddress;
        // false: no web server of its own; the device's HTTP server passes the SOAP requests to Serve.
        bool webServer = true;
    };

    explicit FakeOnvif(OnvifState state);
    FakeOnvif(OnvifState state, Options options);
    ~FakeOnvif();
    FakeOnvif(const FakeOnvif&) = delete;
    FakeOnvif& operator=(const FakeOnvif&) = delete;

    // Waits (bounded) until the web port and the discovery socket are bound at the current address.
    bool WaitListening(int timeoutMs = 3000) const;

    OnvifState State() const;
    void Update(const std::function<void(OnvifState&)>& change); // a new ip or web port rebinds
    void SetFaults(const OnvifFaults& faults);

    std::vector<OnvifRequest> Requests() const;
    int CountRequests(const std::string& operation) const;
    int Probes() const; // probes answered or refused, repeats not counted
    void ClearRequests();

    // The SOAP endpoint itself, for an HTTP server that serves other paths beside it.
    HttpResponse Serve(const HttpRequest& request);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// State of device index at ip: its own endpoint reference, name, MAC and serial.
OnvifState OnvifStateFor(const std::string& ip, int index);
} // namespace fakedevice
