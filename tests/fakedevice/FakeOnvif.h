#pragma once

// The fake device's ONVIF side: a WS-Discovery responder (unicast at its own
// address, and the multicast group when asked; answers wait a random time as
// target services do) and the device-management SOAP endpoint on its web port,
// over http or https, checking the WS-UsernameToken digest and, when asked,
// HTTP Digest (MD5, SHA-256, qop auth, nonce count, stale nonces), answering
// the pre-authentication operations without either, applying network changes
// to its state (it then answers at the new address and port), with fault
// injection. Every public function is thread-safe; the destructor
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
    bool https = false; // the web port speaks TLS (a self-signed certificate); the XAddr says https
    // The device service's path, announced in the XAddr; the media service sits beside it.
    // Other paths get 404.
    std::string servicePath = "/onvif/device_service";
    // HTTP Digest on every operation but the pre-authentication ones; each
    // algorithm offered ("MD5", "SHA-256") is one challenge, in this order.
    bool httpDigest = false;
    std::vector<std::string> digestAlgorithms { "SHA-256", "MD5" };
    int digestNonceUses = 0; // > 0: a nonce is stale after that many requests
    bool tokenRequired = true; // false: the WS-UsernameToken is not looked at
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
    bool cutBody = false; // announce the whole body, send half of it, then close
};

struct OnvifFaults
{
    bool noProbeAnswer = false;
    int probeDelayMaxMs = 500; // each answer waits a random time up to this; 0: at once
    int probeCopies = 1; // datagrams per answer, 50 ms apart
    // Not empty: sent as the answer instead of the ProbeMatches message, with
    // "{relatesTo}" replaced by the probe's MessageID.
    std::string probeReply;
    std::string xaddrs; // not empty: the XAddrs text of the answer
    bool timeNeedsAuth = false;
    bool silentAfterConnect = false; // after the first authenticated GetDeviceInformation, nothing is answered
    std::map<std::string, OnvifReply> replies; // by operation name ("GetNetworkInterfaces")
};

struct OnvifRequest
{
    std::string operation; // local name of the body's element
    bool tls = false;
    int status = 0; // of the reply
    bool digestSent = false; // an Authorization: Digest header came
    bool digestOk = false;
    std::string digestError; // why it did not check out
    std::string digestAlgorithm;
    std::string digestNonce;
    uint32_t digestNc = 0;
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

// State of device index at ip: its own endpoint reference, name, MAC and
// serial; prefix, gateway (the network's first address) and DNS follow ip.
OnvifState OnvifStateFor(const std::string& ip, int index, int prefixLength = 24);
} // namespace fakedevice
