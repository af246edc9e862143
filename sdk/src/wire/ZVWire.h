// Codec of the ZVNP protocol (see sdk/PROTOCOL.md): framing, little-endian
// helpers, and the keyed hashes and masks of the login and password messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zvwire
{
inline constexpr uint32_t kMagic = 0x504E565Au;
inline constexpr uint16_t kVersion = 1;
inline constexpr size_t kHeaderSize = 20;
inline constexpr uint32_t kMaxTcpPayload = 1048576;
inline constexpr uint32_t kMaxUdpPayload = 1380;
inline constexpr uint16_t kReplyBit = 0x8000;
inline constexpr size_t kNonceSize = 32;
inline constexpr size_t kKeySize = 32;

inline constexpr uint16_t kDefaultUdpPort = 9610;
inline constexpr uint16_t kDefaultTcpPort = 9611;

enum MsgType : uint16_t
{
    MSG_SEARCH = 0x0101,
    MSG_NET_CHALLENGE = 0x0102,
    MSG_SET_NETWORK = 0x0103,
    MSG_CHALLENGE = 0x8201,
    MSG_LOGIN = 0x0202,
    MSG_LOGIN_RESULT = 0x8202,
    MSG_SAVE_PASSWORD = 0x0203,
    MSG_LOGOUT = 0x0204,
    MSG_KEEPALIVE = 0x0205,
    MSG_GET_DEVINFO = 0x0301,
    MSG_QUERY_PARAM = 0x0302,
    MSG_QUERY_BLOCK = 0x0303,
    MSG_SET_PARAM = 0x0304,
    MSG_SET_PARAM_EX = 0x0305,
    MSG_PTZ = 0x0306,
    MSG_REMOTE_TEST = 0x0307,
    MSG_EXPORT = 0x0308,
    MSG_IMPORT = 0x0309,
    MSG_UPGRADE_START = 0x0401,
    MSG_UPGRADE_DATA = 0x0402,
    MSG_UPGRADE_END = 0x0403,
    MSG_ALARM = 0x8501,
};

constexpr uint16_t ReplyType(uint16_t requestType)
{
    return static_cast<uint16_t>(requestType | kReplyBit);
}

enum Status : uint32_t
{
    ST_OK = 0,
    ST_MALFORMED = 1,
    ST_UNKNOWN_TYPE = 2,
    ST_NOT_LOGGED_IN = 3,
    ST_AUTH_FAILED = 4,
    ST_BUSY = 5,
    ST_UNKNOWN_PARAM = 6,
    ST_BAD_SIZE = 7,
    ST_REFUSED = 8,
    ST_RESULT_2 = 0x102,
    ST_RESULT_3 = 0x103,
};

// Payload sizes fixed by the protocol.
inline constexpr size_t kSearchReqSize = 4;
inline constexpr size_t kSearchRspSize = 452;
inline constexpr size_t kNetChallengeReqSize = 40;
inline constexpr size_t kNetChallengeRspSize = 72;
inline constexpr size_t kSetNetworkReqSize = 840;
inline constexpr size_t kNewDevInfoSize = 744;
inline constexpr size_t kNewDevInfoPasswordOffset = 80;
inline constexpr size_t kNewDevInfoPasswordSize = 64;
inline constexpr size_t kChallengeSize = 68;
inline constexpr size_t kLoginReqSize = 128;
inline constexpr size_t kUserNameField = 64;
inline constexpr size_t kSavePasswordReqSize = 288;
inline constexpr size_t kSavePasswordField = 256;
inline constexpr size_t kDevInfoSize = 1232;
inline constexpr size_t kQueryParamReqSize = 36;
inline constexpr size_t kQueryParamRspFixed = 16;
inline constexpr size_t kQueryBlockReqSize = 8;
inline constexpr size_t kSetParamFixed = 16;
inline constexpr size_t kSetParamExFixed = 16;
inline constexpr size_t kPtzReqSize = 48;
inline constexpr size_t kRemoteTestReqSize = 4;
inline constexpr size_t kExportHeaderSize = 40;
inline constexpr size_t kImportFixed = 36;
inline constexpr uint32_t kMaxParamData = 393216;
inline constexpr size_t kUpgradeStartSize = 16;
inline constexpr size_t kUpgradeDataFixed = 12;
inline constexpr uint32_t kMaxUpgradeChunk = 65536;
inline constexpr uint64_t kMaxUpgradeSize = 268435456;
inline constexpr size_t kUpgradeEndSize = 8;
inline constexpr size_t kAlarmFixed = 8;
inline constexpr uint32_t kMaxAlarmData = 4096;
inline constexpr uint32_t kChallengeFlagNoPassword = 0x1;

// Little-endian access to unaligned bytes.
inline void PutU16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t GetU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
        | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t GetU64(const uint8_t* p)
{
    return GetU32(p) | (static_cast<uint64_t>(GetU32(p + 4)) << 32);
}

struct Header
{
    uint16_t type = 0;
    uint32_t requestId = 0;
    uint32_t status = 0;
    uint32_t length = 0;
};

// Appends one frame; the payload may be null when length is 0.
void AppendFrame(
    std::vector<uint8_t>& out, uint16_t type, uint32_t requestId, uint32_t status, const void* payload, size_t length);
std::vector<uint8_t> EncodeFrame(
    uint16_t type, uint32_t requestId, uint32_t status, const void* payload, size_t length);

enum class Decode
{
    Ok, // header (and, for datagrams, payload) complete and valid
    NeedMore, // fewer than kHeaderSize bytes
    Bad, // wrong magic or version, length above the limit, or datagram size mismatch
};

// Checks the first kHeaderSize bytes of a stream.
Decode DecodeHeader(const uint8_t* data, size_t size, uint32_t maxPayload, Header& header);
// Checks a whole datagram; payload points into data on success.
Decode DecodeDatagram(const uint8_t* data, size_t size, Header& header, const uint8_t*& payload);

// Bounds-checked reader: every read fails once the data runs short, and stays failed.
class Reader
{
public:
    Reader(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    bool Ok() const { return m_ok; }
    size_t Remaining() const { return m_ok ? m_size - m_pos : 0; }
    const uint8_t* Take(size_t count);
    uint16_t U16();
    uint32_t U32();
    uint64_t U64();
    bool Bytes(void* out, size_t count);

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

class Writer
{
public:
    Writer& U16(uint16_t v);
    Writer& U32(uint32_t v);
    Writer& U64(uint64_t v);
    Writer& Bytes(const void* data, size_t count);
    Writer& Zeros(size_t count);
    // Copies text cut to width - 1 bytes and zero-pads to width.
    Writer& Text(const char* text, size_t width);
    const std::vector<uint8_t>& Data() const { return m_data; }
    std::vector<uint8_t>& Data() { return m_data; }

private:
    std::vector<uint8_t> m_data;
};

// Length of text within width bytes (stops at the first NUL).
size_t BoundedLength(const char* text, size_t width);

// Cryptography (OpenSSL); every function returns false when OpenSSL fails.
bool RandomBytes(void* out, size_t size);
bool Sha256(const std::vector<uint8_t>& data, uint8_t out[32]);
bool HmacSha256(const void* key, size_t keySize, const std::vector<uint8_t>& message, uint8_t out[32]);
// proof of LOGIN: HMAC(password, "ZVNP-LOGIN" || serverNonce || clientNonce || userName)
bool LoginProof(const std::string& password, const uint8_t* serverNonce, const uint8_t* clientNonce,
    const std::string& userName, uint8_t out[32]);
bool SessionKey(const std::string& password, const uint8_t* serverNonce, const uint8_t* clientNonce, uint8_t out[32]);
// proof of SET_NETWORK over the 744-byte record as sent (password field zeroed).
bool SetNetworkProof(const std::string& password, const uint8_t* serverNonce, const uint8_t* clientNonce,
    const uint8_t* record, uint8_t out[32]);
// data ^= SHA-256(key || requestId || k) stream; its own inverse.
bool Mask(const uint8_t key[32], uint32_t requestId, uint8_t* data, size_t size);
bool X25519Generate(uint8_t privateKey[32], uint8_t publicKey[32]);
bool X25519Shared(const uint8_t privateKey[32], const uint8_t peerPublic[32], uint8_t out[32]);
// Mask key of SAVE_PASSWORD: SHA-256(shared || serverNonce).
bool SavePasswordKey(const uint8_t shared[32], const uint8_t* serverNonce, uint8_t out[32]);
// Constant-time comparison of two 32-byte values.
bool Equal32(const uint8_t* a, const uint8_t* b);
} // namespace zvwire
