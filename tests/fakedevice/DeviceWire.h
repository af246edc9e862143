#pragma once

// The device's own reading of the ZVNP frames and keyed hashes (written apart
// from the SDK's codec so that the two check each other).

#include "DeviceState.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace fakedevice::wire
{
inline constexpr uint32_t kMagic = 0x504E565Au;
inline constexpr uint16_t kVersion = 1;
inline constexpr size_t kHeaderSize = 20;
inline constexpr uint32_t kMaxTcpPayload = 1048576;
inline constexpr uint32_t kMaxUdpPayload = 1380;
inline constexpr uint16_t kReply = 0x8000;

enum Type : uint16_t
{
    Search = 0x0101,
    NetChallenge = 0x0102,
    SetNetwork = 0x0103,
    Challenge = 0x8201,
    Login = 0x0202,
    LoginResult = 0x8202,
    SavePassword = 0x0203,
    Logout = 0x0204,
    KeepAlive = 0x0205,
    GetDevInfo = 0x0301,
    QueryParam = 0x0302,
    QueryBlock = 0x0303,
    SetParam = 0x0304,
    SetParamEx = 0x0305,
    Ptz = 0x0306,
    RemoteTest = 0x0307,
    Export = 0x0308,
    Import = 0x0309,
    UpgradeStart = 0x0401,
    UpgradeData = 0x0402,
    UpgradeEnd = 0x0403,
    Alarm = 0x8501,
};

enum Status : uint32_t
{
    Ok = 0,
    Malformed = 1,
    UnknownType = 2,
    NotLoggedIn = 3,
    AuthFailed = 4,
    Busy = 5,
    UnknownParam = 6,
    BadSize = 7,
    Refused = 8,
    Result2 = 0x102,
    Result3 = 0x103,
};

struct Frame
{
    uint16_t type = 0;
    uint32_t requestId = 0;
    uint32_t status = 0;
    Bytes payload;
};

uint16_t U16(const uint8_t* p);
uint32_t U32(const uint8_t* p);
uint64_t U64(const uint8_t* p);
void Append16(Bytes& out, uint16_t v);
void Append32(Bytes& out, uint32_t v);
void Append64(Bytes& out, uint64_t v);

Bytes Encode(const Frame& frame);
// Header check of a stream or datagram: false on wrong magic/version or a length above maxPayload.
bool ParseHeader(const uint8_t* data, Frame& frame, uint32_t& length, uint32_t maxPayload);

bool Random(uint8_t* out, size_t size);
Bytes Sha256(const Bytes& data);
Bytes Hmac(const std::string& key, const Bytes& message);
// Label followed by the given parts, as the keyed hashes take them.
Bytes Concat(const char* label, std::initializer_list<std::pair<const uint8_t*, size_t>> parts);
void Mask(const Bytes& key, uint32_t requestId, uint8_t* data, size_t size);
bool X25519Pair(Bytes& privateKey, Bytes& publicKey);
Bytes X25519Shared(const Bytes& privateKey, const uint8_t* peerPublic);
bool SameDigest(const Bytes& a, const uint8_t* b);

// Incremental SHA-256 of an upload.
class Sha256Stream
{
public:
    Sha256Stream();
    ~Sha256Stream();
    Sha256Stream(const Sha256Stream&) = delete;
    Sha256Stream& operator=(const Sha256Stream&) = delete;
    void Reset();
    void Add(const uint8_t* data, size_t size);
    std::string HexDigest(); // ends the stream

private:
    struct Impl;
    Impl* m_impl;
};
} // namespace fakedevice::wire
