#pragma once

// A small threaded HTTP/1.1 server for the fake device's JSON API: plain, TLS
// with a self-signed certificate made at start, or both on one port (told
// apart by the first byte). One thread accepts, one thread per connection;
// the destructor stops and joins them all.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace fakedevice
{
using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest
{
    std::string method;
    std::string path;
    std::string version;
    HttpHeaders headers; // in the order received
    std::string body; // empty for streamed bodies
    uint64_t bodySize = 0;
    std::string bodySha256; // lower-case hex, streamed bodies only
    double bodySeconds = 0; // from the first to the last body byte
    bool tls = false;
    uint64_t connection = 0; // numbers the connections of one server from 1
    std::string peer;

    // First header of that name (case-insensitive); empty when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

struct HttpResponse
{
    int status = 200;
    HttpHeaders headers;
    std::string body;
    size_t fillerBytes = 0; // that many more body bytes, streamed
    bool neverAnswer = false; // hold the connection until the peer or the server ends it
    int delayMs = 0; // before answering (bounded to 30 s)
    bool cutBody = false; // announce the whole body, send half of it, then close
    // Runs on the connection's thread once the reply has gone out (or failed to).
    std::function<void()> afterSent;
};

// What the server does to a streamed body as it arrives (upload faults).
struct StreamedBodyFault
{
    int64_t dropAfter = -1; // >= 0: close the connection once this many bytes arrived
    int64_t stallAfter = -1; // >= 0: stop reading once this many bytes arrived, answer nothing
    // With dropAfter: answer "200 OK" (head and part of its body) before
    // resetting the connection, as a device that gives up half-way may.
    bool answerBeforeDrop = false;
    int64_t readBytesPerSecond = 0; // > 0: the body is read no faster (a slow link)
};

class HttpServer
{
public:
    enum class Scheme
    {
        Http,
        Https,
        Both,
    };

    struct Options
    {
        std::string ip = "127.0.0.1";
        uint16_t port = 0; // 0: any free port
        Scheme scheme = Scheme::Http;
        size_t maxBodyBytes = 1024 * 1024;
        size_t maxStreamedBytes = 256u * 1024 * 1024;
        int maxConnections = 32;
        int idleSeconds = 15;
        // Paths whose bodies are hashed and counted instead of kept.
        std::function<bool(const std::string& path)> streamBody;
        // Asked once per streamed body, before it is read.
        std::function<StreamedBodyFault(const HttpRequest& request)> streamFault;
    };

    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    HttpServer(Options options, Handler handler);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    bool Listening() const;
    uint16_t Port() const;
    const std::string& Ip() const;
    int OpenConnections() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// A port that takes one connection into its queue and never accepts: later
// connection attempts get no answer at all, as from a host that is gone.
class BlackHoleListener
{
public:
    explicit BlackHoleListener(const std::string& ip);
    ~BlackHoleListener();
    BlackHoleListener(const BlackHoleListener&) = delete;
    BlackHoleListener& operator=(const BlackHoleListener&) = delete;

    bool Listening() const { return m_port != 0; }
    uint16_t Port() const { return m_port; }

private:
    int m_listenFd = -1;
    int m_fillFd = -1;
    uint16_t m_port = 0;
};
} // namespace fakedevice
