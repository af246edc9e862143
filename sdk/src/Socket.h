#pragma once

#include "wire/ZVWire.h"

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zvsdk
{
using Clock = std::chrono::steady_clock;

// Owns a file descriptor.
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd)
        : m_fd(fd)
    {
    }
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept
        : m_fd(other.Release())
    {
    }
    Fd& operator=(Fd&& other) noexcept;
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release();
    void Reset(int fd = -1);

private:
    int m_fd = -1;
};

int RemainingMs(Clock::time_point deadline);
bool ParseIpv4(const char* text, in_addr& out);
std::string Ipv4Text(in_addr address);

// Non-blocking TCP connect bounded by deadline (checking stop every 100 ms);
// the socket stays non-blocking.
Fd TcpConnect(in_addr address, uint16_t port, Clock::time_point deadline, const std::atomic<bool>* stop);
bool WriteAll(int fd, const uint8_t* data, size_t size, Clock::time_point deadline, const std::atomic<bool>* stop);

enum class ReadResult
{
    Ok,
    Timeout, // nothing (or only part of a frame) arrived in time
    Closed, // peer closed or socket error
    Bad, // frame header broken: the stream cannot be resynchronised
    Stopped, // stop flag set
};

// Reads one frame. Waits for its first byte until idleDeadline (checking stop
// every 100 ms), then gives the rest until frameDeadlineMs after the first byte.
ReadResult ReadFrame(int fd, Clock::time_point idleDeadline, int frameDeadlineMs, const std::atomic<bool>* stop,
    zvwire::Header& header, std::vector<uint8_t>& payload);

// UDP socket bound to 0.0.0.0:ephemeral, broadcast allowed, with a receive
// buffer large enough for the answers of a few hundred devices.
Fd UdpSocket();
// Waits (at most 100 ms) for room in the send buffer rather than dropping the datagram.
bool SendDatagram(int fd, in_addr address, uint16_t port, const std::vector<uint8_t>& frame);
// Waits up to timeoutMs for one datagram; returns its size, 0 on time-out, -1 on error.
int ReceiveDatagram(int fd, uint8_t* buffer, size_t size, int timeoutMs, in_addr& from);

// Broadcast addresses of the IPv4 interfaces that are up, loopback excluded.
std::vector<in_addr> BroadcastAddresses();
} // namespace zvsdk
