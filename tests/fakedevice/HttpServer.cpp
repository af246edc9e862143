#include "HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>
#include <mutex>
#include <thread>

namespace fakedevice
{
namespace
{
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr int kTickMs = 100;
constexpr int kMaxDelayMs = 30000;
constexpr auto kStallLimit = 15s; // a body or a write that makes no progress for this long ends the connection
constexpr auto kHandshakeLimit = 5s;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

const char* Reason(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

int MsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, kTickMs)) : 0;
}

void IgnoreSigpipe()
{
    // OpenSSL writes to its socket with write(): a peer that left would kill the process.
    static std::once_flag once;
    std::call_once(once, [] { signal(SIGPIPE, SIG_IGN); });
}

struct SslCtxDeleter
{
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
using SslCtx = std::unique_ptr<SSL_CTX, SslCtxDeleter>;

// A self-signed P-256 certificate, valid from an hour ago for a day.
SslCtx MakeTlsContext()
{
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    X509* cert = X509_new();
    SslCtx ctx(SSL_CTX_new(TLS_server_method()));
    bool ok = key && cert && ctx;
    if (ok) {
        uint32_t serial = 1;
        RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial);
        X509_NAME* name = X509_get_subject_name(cert);
        ok = X509_set_version(cert, 2) == 1 && ASN1_INTEGER_set(X509_get_serialNumber(cert), serial & 0x7fffffff) == 1
            && X509_gmtime_adj(X509_getm_notBefore(cert), -3600) && X509_gmtime_adj(X509_getm_notAfter(cert), 86400)
            && X509_set_pubkey(cert, key) == 1
            && X509_NAME_add_entry_by_txt(
                   name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("fake device"), -1, -1, 0)
                == 1
            && X509_set_issuer_name(cert, name) == 1 && X509_sign(cert, key, EVP_sha256()) > 0
            && SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION) == 1
            && SSL_CTX_use_certificate(ctx.get(), cert) == 1 && SSL_CTX_use_PrivateKey(ctx.get(), key) == 1;
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    if (!ok)
        ctx.reset();
    return ctx;
}

// One accepted connection, plain or TLS, over a non-blocking socket.
class Stream
{
public:
    Stream(int fd, const std::atomic<bool>& stopping)
        : m_fd(fd)
        , m_stopping(stopping)
    {
    }
    ~Stream()
    {
        if (m_ssl)
            SSL_free(m_ssl);
        close(m_fd);
    }

    bool Tls() const { return m_ssl != nullptr; }

    // The close that follows sends a reset instead of an orderly end.
    void Reset()
    {
        const linger abort { 1, 0 };
        setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }

    bool StartTls(SSL_CTX* ctx)
    {
        m_ssl = SSL_new(ctx);
        if (!m_ssl || SSL_set_fd(m_ssl, m_fd) != 1)
            return false;
        const auto deadline = Clock::now() + kHandshakeLimit;
        while (!m_stopping && Clock::now() < deadline) {
            ERR_clear_error();
            const int result = SSL_accept(m_ssl);
            if (result == 1)
                return true;
            const int error = SSL_get_error(m_ssl, result);
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
                return false;
            Poll(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, MsUntil(deadline));
        }
        return false;
    }

    // The first byte, without taking it; -1 when none came in time.
    int Peek(Clock::duration limit)
    {
        const auto deadline = Clock::now() + limit;
        while (!m_stopping) {
            unsigned char byte = 0;
            const ssize_t got = recv(m_fd, &byte, 1, MSG_PEEK);
            if (got == 1)
                return byte;
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                return -1;
            if (Clock::now() >= deadline)
                return -1;
            Poll(POLLIN, MsUntil(deadline));
        }
        return -1;
    }

    // Waits up to ms without reading anything; true once the peer has closed or failed.
    bool PeerGone(int ms)
    {
        pollfd entry { m_fd, POLLRDHUP, 0 };
        return poll(&entry, 1, ms) > 0 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
    }

    // Bytes read; 0 when the peer closed or failed; -1 when nothing came within one tick.
    int Read(char* buffer, int size)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(kTickMs);
        for (;;) {
            short want = POLLIN;
            if (m_ssl) {
                ERR_clear_error();
                const int got = SSL_read(m_ssl, buffer, size);
                if (got > 0)
                    return got;
                const int error = SSL_get_error(m_ssl, got);
                if (error == SSL_ERROR_WANT_WRITE)
                    want = POLLOUT;
                else if (error != SSL_ERROR_WANT_READ)
                    return 0;
            } else {
                const ssize_t got = recv(m_fd, buffer, static_cast<size_t>(size), 0);
                if (got > 0)
                    return static_cast<int>(got);
                if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                    return 0;
            }
            const int wait = MsUntil(deadline);
            if (wait <= 0 || Poll(want, wait) == 0)
                return -1;
        }
    }

    bool Write(const char* data, size_t size)
    {
        auto deadline = Clock::now() + kStallLimit;
        while (size > 0) {
            if (m_stopping || Clock::now() >= deadline)
                return false;
            short want = POLLOUT;
            long sent = 0;
            if (m_ssl) {
                ERR_clear_error();
                const int chunk = static_cast<int>(std::min<size_t>(size, 1 << 20));
                const int result = SSL_write(m_ssl, data, chunk);
                if (result > 0) {
                    sent = result;
                } else {
                    const int error = SSL_get_error(m_ssl, result);
                    if (error == SSL_ERROR_WANT_READ)
                        want = POLLIN;
                    else if (error != SSL_ERROR_WANT_WRITE)
                        return false;
                }
            } else {
                const ssize_t result = send(m_fd, data, size, MSG_NOSIGNAL);
                if (result > 0)
                    sent = result;
                else if (result < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                    return false;
            }
            if (sent > 0) {
                data += sent;
                size -= static_cast<size_t>(sent);
                deadline = Clock::now() + kStallLimit;
            } else {
                Poll(want, kTickMs);
            }
        }
        return true;
    }

private:
    int Poll(short events, int ms)
    {
        pollfd entry { m_fd, events, 0 };
        const int result = poll(&entry, 1, ms);
        return result < 0 && errno == EINTR ? 0 : result;
    }

    int m_fd;
    const std::atomic<bool>& m_stopping;
    SSL* m_ssl = nullptr;
};

std::string Hex(const unsigned char* data, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

struct MdCtxDeleter
{
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// The request line and header lines of head (without the blank line).
bool ParseHead(const std::string& head, HttpRequest& request)
{
    size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const size_t space1 = requestLine.find(' ');
    const size_t space2 = requestLine.rfind(' ');
    if (space1 == std::string::npos || space2 == space1)
        return false;
    request.method = requestLine.substr(0, space1);
    request.path = requestLine.substr(space1 + 1, space2 - space1 - 1);
    request.version = requestLine.substr(space2 + 1);
    if (request.version.compare(0, 7, "HTTP/1.") != 0 || request.path.empty() || request.path[0] != '/')
        return false;
    while (lineEnd != std::string::npos) {
        const size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        if (line.empty())
            continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            return false;
        request.headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
    }
    return true;
}

bool ParseLength(const std::string& text, uint64_t& length)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    length = std::stoull(text);
    return true;
}
} // namespace

std::string HttpRequest::Header(const std::string& name) const
{
    const std::string wanted = Lower(name);
    for (const auto& [key, value] : headers) {
        if (Lower(key) == wanted)
            return value;
    }
    return std::string();
}

bool HttpRequest::HasHeader(const std::string& name) const
{
    const std::string wanted = Lower(name);
    return std::any_of(
        headers.begin(), headers.end(), [&](const auto& header) { return Lower(header.first) == wanted; });
}

struct HttpServer::Impl
{
    struct Connection
    {
        std::thread thread;
        std::atomic<bool> done { false };
    };

    Options options;
    Handler handler;
    SslCtx tls;
    int listenFd = -1;
    uint16_t port = 0;
    std::atomic<bool> stopping { false };
    std::atomic<int> open { 0 };
    uint64_t nextConnection = 0;
    std::thread acceptThread;
    std::list<std::unique_ptr<Connection>> connections; // accept thread only, then the destructor

    Impl(Options o, Handler h)
        : options(std::move(o))
        , handler(std::move(h))
    {
    }

    bool Start()
    {
        IgnoreSigpipe();
        if (options.scheme != Scheme::Http) {
            tls = MakeTlsContext();
            if (!tls)
                return false;
        }
        listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (listenFd < 0)
            return false;
        int one = 1;
        setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(options.port);
        socklen_t size = sizeof address;
        if (inet_pton(AF_INET, options.ip.c_str(), &address.sin_addr) != 1
            || bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listenFd, 64) != 0
            || getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            close(listenFd);
            listenFd = -1;
            return false;
        }
        port = ntohs(address.sin_port);
        acceptThread = std::thread([this] { AcceptLoop(); });
        return true;
    }

    void Stop()
    {
        stopping = true;
        if (acceptThread.joinable())
            acceptThread.join();
        for (auto& connection : connections)
            connection->thread.join();
        connections.clear();
        if (listenFd >= 0)
            close(listenFd);
        listenFd = -1;
    }

    void AcceptLoop()
    {
        while (!stopping) {
            connections.remove_if([](const std::unique_ptr<Connection>& connection) {
                if (!connection->done)
                    return false;
                connection->thread.join();
                return true;
            });
            pollfd entry { listenFd, POLLIN, 0 };
            if (poll(&entry, 1, kTickMs) <= 0)
                continue;
            sockaddr_in peer {};
            socklen_t size = sizeof peer;
            const int fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            if (static_cast<int>(connections.size()) >= options.maxConnections) {
                close(fd);
                continue;
            }
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
            const std::string peerText = std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
            auto connection = std::make_unique<Connection>();
            Connection* raw = connection.get();
            const uint64_t id = ++nextConnection;
            ++open;
            raw->thread = std::thread([this, raw, fd, peerText, id] {
                Serve(fd, peerText, id);
                --open;
                raw->done = true;
            });
            connections.push_back(std::move(connection));
        }
    }

    bool SendSimple(Stream& stream, int status)
    {
        const std::string body = "{\"result\":\"failed\"}";
        HttpResponse response;
        response.status = status;
        response.body = body;
        return SendResponse(stream, response, false);
    }

    bool SendResponse(Stream& stream, const HttpResponse& response, bool keepAlive)
    {
        std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + Reason(response.status) + "\r\n";
        bool hasType = false;
        for (const auto& [name, value] : response.headers) {
            head += name + ": " + value + "\r\n";
            hasType = hasType || Lower(name) == "content-type";
        }
        if (!hasType)
            head += "Content-Type: application/json\r\n";
        head += "Content-Length: " + std::to_string(response.body.size() + response.fillerBytes) + "\r\n";
        head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
        if (response.cutBody) {
            stream.Write(head.data(), head.size());
            stream.Write(response.body.data(), response.body.size() / 2);
            return false;
        }
        if (!stream.Write(head.data(), head.size()) || !stream.Write(response.body.data(), response.body.size()))
            return false;
        const std::string filler(64 * 1024, 'x');
        for (size_t left = response.fillerBytes; left > 0;) {
            const size_t chunk = std::min(left, filler.size());
            if (!stream.Write(filler.data(), chunk))
                return false;
            left -= chunk;
        }
        return true;
    }

    // Reads the body of request: from buffer first, then the stream.
    bool ReadBody(Stream& stream, std::string& buffer, uint64_t length, bool streamed, HttpRequest& request)
    {
        const StreamedBodyFault fault
            = streamed && options.streamFault ? options.streamFault(request) : StreamedBodyFault();
        // Bytes to take before the fault strikes; the whole body without one.
        uint64_t limit = length;
        if (fault.dropAfter >= 0)
            limit = std::min<uint64_t>(limit, static_cast<uint64_t>(fault.dropAfter));
        if (fault.stallAfter >= 0)
            limit = std::min<uint64_t>(limit, static_cast<uint64_t>(fault.stallAfter));
        std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> digest(streamed ? EVP_MD_CTX_new() : nullptr);
        if (streamed && (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1))
            return false;
        Clock::time_point first, last;
        bool started = false;
        uint64_t got = 0;
        auto take = [&](const char* data, size_t size) {
            const auto now = Clock::now();
            if (!started) {
                first = now;
                started = true;
            }
            last = now;
            if (streamed)
                EVP_DigestUpdate(digest.get(), data, size);
            else
                request.body.append(data, size);
            got += size;
        };
        const size_t fromBuffer = static_cast<size_t>(std::min<uint64_t>(limit, buffer.size()));
        if (fromBuffer > 0)
            take(buffer.data(), fromBuffer);
        buffer.erase(0, fromBuffer);
        std::vector<char> chunk(64 * 1024);
        auto stall = Clock::now() + kStallLimit;
        while (got < limit) {
            if (stopping || Clock::now() >= stall)
                return false;
            const int want = static_cast<int>(std::min<uint64_t>(chunk.size(), limit - got));
            const int read = stream.Read(chunk.data(), want);
            if (read == 0)
                return false;
            if (read > 0) {
                take(chunk.data(), static_cast<size_t>(read));
                stall = Clock::now() + kStallLimit;
                if (fault.readBytesPerSecond > 0) {
                    // The next read waits until the bytes so far fit the rate.
                    const auto due = first
                        + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                            static_cast<double>(got) / static_cast<double>(fault.readBytesPerSecond)));
                    while (!stopping && Clock::now() < due)
                        std::this_thread::sleep_for(std::min<Clock::duration>(10ms, due - Clock::now()));
                    stall = Clock::now() + kStallLimit;
                }
            }
        }
        if (got < length && fault.dropAfter >= 0 && fault.answerBeforeDrop) {
            static const char kEarly[] = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                         "Content-Length: 64\r\n\r\n{\"result\":";
            stream.Write(kEarly, sizeof kEarly - 1);
            stream.Reset();
            return false;
        }
        if (got < length) {
            // A link that stalls keeps the connection and reads nothing more,
            // until the peer gives up or the server stops.
            while (fault.stallAfter >= 0 && !stopping && !stream.PeerGone(kTickMs)) { }
            return false;
        }
        request.bodySize = got;
        if (started)
            request.bodySeconds = std::chrono::duration<double>(last - first).count();
        if (streamed) {
            unsigned char hash[EVP_MAX_MD_SIZE];
            unsigned int hashSize = 0;
            EVP_DigestFinal_ex(digest.get(), hash, &hashSize);
            request.bodySha256 = Hex(hash, hashSize);
        }
        return true;
    }

    void Hold(Stream& stream)
    {
        char sink[4096];
        while (!stopping && stream.Read(sink, sizeof sink) != 0) { }
    }

    void Serve(int fd, const std::string& peer, uint64_t id)
    {
        Stream stream(fd, stopping);
        bool useTls = options.scheme == Scheme::Https;
        if (options.scheme == Scheme::Both)
            useTls = stream.Peek(kHandshakeLimit) == 0x16; // TLS handshake record
        // A plain server answers a TLS hello at once, as web servers do with a
        // request line they cannot read, rather than waiting for a line end.
        if (options.scheme == Scheme::Http && stream.Peek(kHandshakeLimit) == 0x16) {
            SendSimple(stream, 400);
            return;
        }
        if (useTls && !stream.StartTls(tls.get()))
            return;

        std::string buffer;
        auto idleUntil = Clock::now() + std::chrono::seconds(options.idleSeconds);
        char chunk[16 * 1024];
        while (!stopping) {
            size_t headEnd;
            while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
                if (buffer.size() > kMaxHeaderBytes) {
                    SendSimple(stream, 431);
                    return;
                }
                const int read = stream.Read(chunk, sizeof chunk);
                if (read == 0 || stopping)
                    return;
                if (read < 0) {
                    if (Clock::now() >= idleUntil)
                        return;
                    continue;
                }
                buffer.append(chunk, static_cast<size_t>(read));
            }

            HttpRequest request;
            request.tls = stream.Tls();
            request.connection = id;
            request.peer = peer;
            if (!ParseHead(buffer.substr(0, headEnd), request)) {
                SendSimple(stream, 400);
                return;
            }
            buffer.erase(0, headEnd + 4);
            uint64_t length = 0;
            if (request.HasHeader("Transfer-Encoding")) {
                SendSimple(stream, 501);
                return;
            }
            if (request.HasHeader("Content-Length") && !ParseLength(request.Header("Content-Length"), length)) {
                SendSimple(stream, 400);
                return;
            }
            const bool streamed = options.streamBody && options.streamBody(request.path);
            if (length > (streamed ? options.maxStreamedBytes : options.maxBodyBytes)) {
                SendSimple(stream, 413);
                return;
            }
            if (Lower(request.Header("Expect")) == "100-continue") {
                static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
                if (!stream.Write(kContinue, sizeof kContinue - 1))
                    return;
            }
            if (!ReadBody(stream, buffer, length, streamed, request))
                return;

            const HttpResponse response = handler(request);
            if (response.neverAnswer) {
                Hold(stream);
                return;
            }
            const auto answerAt
                = Clock::now() + std::chrono::milliseconds(std::clamp(response.delayMs, 0, kMaxDelayMs));
            while (!stopping && Clock::now() < answerAt)
                std::this_thread::sleep_for(std::min<Clock::duration>(10ms, answerAt - Clock::now()));
            const bool keepAlive = Lower(request.Header("Connection")) != "close";
            const bool sent = !stopping && SendResponse(stream, response, keepAlive);
            if (response.afterSent)
                response.afterSent();
            if (!sent || !keepAlive)
                return;
            idleUntil = Clock::now() + std::chrono::seconds(options.idleSeconds);
        }
    }
};

HttpServer::HttpServer(Options options, Handler handler)
    : m_impl(std::make_unique<Impl>(std::move(options), std::move(handler)))
{
    m_impl->Start();
}

HttpServer::~HttpServer()
{
    m_impl->Stop();
}

bool HttpServer::Listening() const
{
    return m_impl->listenFd >= 0;
}

uint16_t HttpServer::Port() const
{
    return m_impl->port;
}

const std::string& HttpServer::Ip() const
{
    return m_impl->options.ip;
}

int HttpServer::OpenConnections() const
{
    return m_impl->open;
}

BlackHoleListener::BlackHoleListener(const std::string& ip)
{
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    socklen_t size = sizeof address;
    // A queue of one, filled by our own connection: the kernel drops every
    // later SYN, so a client's connect waits until its own time-out.
    if (m_listenFd < 0 || inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1
        || bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_listenFd, 0) != 0
        || getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return;
    m_fillFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fillFd < 0)
        return;
    connect(m_fillFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    pollfd entry { m_fillFd, POLLOUT, 0 };
    if (poll(&entry, 1, 1000) == 1)
        m_port = ntohs(address.sin_port);
}

BlackHoleListener::~BlackHoleListener()
{
    if (m_fillFd >= 0)
        close(m_fillFd);
    if (m_listenFd >= 0)
        close(m_listenFd);
}
} // namespace fakedevice
