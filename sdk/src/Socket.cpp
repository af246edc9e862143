#include "Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace zvsdk
{
Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other)
        Reset(other.Release());
    return *this;
}

int Fd::Release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void Fd::Reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

bool ParseIpv4(const char* text, in_addr& out)
{
    return text && inet_pton(AF_INET, text, &out) == 1;
}

std::string Ipv4Text(in_addr address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

Fd TcpConnect(in_addr address, uint16_t port, Clock::time_point deadline, const std::atomic<bool>* stop)
{
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Valid())
        return {};
    int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = address;
    if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0)
        return fd;
    if (errno != EINPROGRESS)
        return {};
    for (;;) {
        if (stop && stop->load())
            return {};
        const int left = RemainingMs(deadline);
        if (left == 0)
            return {};
        pollfd p { fd.Get(), POLLOUT, 0 };
        const int r = ::poll(&p, 1, std::min(left, 100));
        if (r < 0 && errno != EINTR)
            return {};
        if (r == 1)
            break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        return {};
    return fd;
}

bool WriteAll(int fd, const uint8_t* data, size_t size, Clock::time_point deadline, const std::atomic<bool>* stop)
{
    size_t done = 0;
    while (done < size) {
        if (stop && stop->load())
            return false;
        const ssize_t n = ::send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int left = RemainingMs(deadline);
            if (left == 0)
                return false;
            pollfd p { fd, POLLOUT, 0 };
            if (::poll(&p, 1, std::min(left, 100)) < 0 && errno != EINTR)
                return false;
            continue;
        }
        return false;
    }
    return true;
}

namespace
{
// Reads exactly size bytes by deadline.
ReadResult ReadExact(int fd, uint8_t* out, size_t size, Clock::time_point deadline, const std::atomic<bool>* stop)
{
    size_t done = 0;
    while (done < size) {
        if (stop && stop->load())
            return ReadResult::Stopped;
        const ssize_t n = ::recv(fd, out + done, size - done, 0);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n == 0)
            return ReadResult::Closed;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return ReadResult::Closed;
        const int left = RemainingMs(deadline);
        if (left == 0)
            return ReadResult::Timeout;
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, std::min(left, 100)) < 0 && errno != EINTR)
            return ReadResult::Closed;
    }
    return ReadResult::Ok;
}
} // namespace

ReadResult ReadFrame(int fd, Clock::time_point idleDeadline, int frameDeadlineMs, const std::atomic<bool>* stop,
    zvwire::Header& header, std::vector<uint8_t>& payload)
{
    uint8_t head[zvwire::kHeaderSize];
    ReadResult r = ReadExact(fd, head, 1, idleDeadline, stop);
    if (r != ReadResult::Ok)
        return r;
    const auto frameDeadline = Clock::now() + std::chrono::milliseconds(frameDeadlineMs);
    r = ReadExact(fd, head + 1, sizeof head - 1, frameDeadline, stop);
    if (r != ReadResult::Ok)
        return r == ReadResult::Timeout ? ReadResult::Bad : r;
    if (zvwire::DecodeHeader(head, sizeof head, zvwire::kMaxTcpPayload, header) != zvwire::Decode::Ok)
        return ReadResult::Bad;
    payload.assign(header.length, 0);
    r = ReadExact(fd, payload.data(), payload.size(), frameDeadline, stop);
    if (r != ReadResult::Ok)
        return r == ReadResult::Timeout ? ReadResult::Bad : r;
    return ReadResult::Ok;
}

Fd UdpSocket()
{
    Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Valid())
        return {};
    int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    // Room for the answers of a few hundred devices arriving at once. Beyond the
    // system's maximum only a privileged process may go; others get that maximum.
    int buffer = 4 << 20;
    if (::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer) != 0)
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        return {};
    return fd;
}

bool SendDatagram(int fd, in_addr address, uint16_t port, const std::vector<uint8_t>& frame)
{
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = address;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const ssize_t n
            = ::sendto(fd, frame.data(), frame.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        if (n >= 0)
            return n == static_cast<ssize_t>(frame.size());
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS)
            return false;
        pollfd p { fd, POLLOUT, 0 };
        ::poll(&p, 1, 1);
    }
    return false;
}

int ReceiveDatagram(int fd, uint8_t* buffer, size_t size, int timeoutMs, in_addr& from)
{
    pollfd p { fd, POLLIN, 0 };
    const int r = ::poll(&p, 1, timeoutMs);
    if (r < 0)
        return errno == EINTR ? 0 : -1;
    if (r == 0)
        return 0;
    sockaddr_in sa {};
    socklen_t length = sizeof sa;
    const ssize_t n = ::recvfrom(fd, buffer, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sa), &length);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
    from = sa.sin_addr;
    // MSG_TRUNC reports the real size: an oversized datagram shows as larger than the buffer.
    return n > static_cast<ssize_t>(size) ? static_cast<int>(size) + 1 : static_cast<int>(n);
}

std::vector<in_addr> BroadcastAddresses()
{
    std::vector<in_addr> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return out;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)
            || !(i->ifa_flags & IFF_BROADCAST) || (i->ifa_flags & IFF_LOOPBACK) || !i->ifa_broadaddr)
            continue;
        const auto* b = reinterpret_cast<const sockaddr_in*>(i->ifa_broadaddr);
        out.push_back(b->sin_addr);
    }
    ::freeifaddrs(list);
    return out;
}
} // namespace zvsdk
