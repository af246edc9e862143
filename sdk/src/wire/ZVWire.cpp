#include "ZVWire.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <climits>
#include <cstring>
#include <memory>

namespace zvwire
{
void AppendFrame(
    std::vector<uint8_t>& out, uint16_t type, uint32_t requestId, uint32_t status, const void* payload, size_t length)
{
    const size_t start = out.size();
    out.resize(start + kHeaderSize + length);
    uint8_t* p = out.data() + start;
    PutU32(p, kMagic);
    PutU16(p + 4, kVersion);
    PutU16(p + 6, type);
    PutU32(p + 8, requestId);
    PutU32(p + 12, status);
    PutU32(p + 16, static_cast<uint32_t>(length));
    if (length > 0)
        std::memcpy(p + kHeaderSize, payload, length);
}

std::vector<uint8_t> EncodeFrame(uint16_t type, uint32_t requestId, uint32_t status, const void* payload, size_t length)
{
    std::vector<uint8_t> out;
    AppendFrame(out, type, requestId, status, payload, length);
    return out;
}

Decode DecodeHeader(const uint8_t* data, size_t size, uint32_t maxPayload, Header& header)
{
    if (!data || size < kHeaderSize)
        return Decode::NeedMore;
    if (GetU32(data) != kMagic || GetU16(data + 4) != kVersion)
        return Decode::Bad;
    const uint32_t length = GetU32(data + 16);
    if (length > maxPayload)
        return Decode::Bad;
    header.type = GetU16(data + 6);
    header.requestId = GetU32(data + 8);
    header.status = GetU32(data + 12);
    header.length = length;
    return Decode::Ok;
}

Decode DecodeDatagram(const uint8_t* data, size_t size, Header& header, const uint8_t*& payload)
{
    if (size < kHeaderSize)
        return Decode::Bad;
    Header h;
    if (DecodeHeader(data, size, kMaxUdpPayload, h) != Decode::Ok || h.length != size - kHeaderSize)
        return Decode::Bad;
    header = h;
    payload = data + kHeaderSize;
    return Decode::Ok;
}

const uint8_t* Reader::Take(size_t count)
{
    if (!m_ok || count > m_size - m_pos) {
        m_ok = false;
        return nullptr;
    }
    const uint8_t* p = m_data + m_pos;
    m_pos += count;
    return p;
}

uint16_t Reader::U16()
{
    const uint8_t* p = Take(2);
    return p ? GetU16(p) : 0;
}

uint32_t Reader::U32()
{
    const uint8_t* p = Take(4);
    return p ? GetU32(p) : 0;
}

uint64_t Reader::U64()
{
    const uint8_t* p = Take(8);
    return p ? GetU64(p) : 0;
}

bool Reader::Bytes(void* out, size_t count)
{
    const uint8_t* p = Take(count);
    if (!p)
        return false;
    if (count > 0)
        std::memcpy(out, p, count);
    return true;
}

Writer& Writer::U16(uint16_t v)
{
    uint8_t b[2];
    PutU16(b, v);
    return Bytes(b, 2);
}

Writer& Writer::U32(uint32_t v)
{
    uint8_t b[4];
    PutU32(b, v);
    return Bytes(b, 4);
}

Writer& Writer::U64(uint64_t v)
{
    uint8_t b[8];
    PutU64(b, v);
    return Bytes(b, 8);
}

Writer& Writer::Bytes(const void* data, size_t count)
{
    if (count > 0) {
        const auto* p = static_cast<const uint8_t*>(data);
        m_data.insert(m_data.end(), p, p + count);
    }
    return *this;
}

Writer& Writer::Zeros(size_t count)
{
    m_data.resize(m_data.size() + count, 0);
    return *this;
}

Writer& Writer::Text(const char* text, size_t width)
{
    if (width == 0)
        return *this;
    const size_t length = text ? BoundedLength(text, width - 1) : 0;
    Bytes(text, length);
    return Zeros(width - length);
}

size_t BoundedLength(const char* text, size_t width)
{
    if (!text)
        return 0;
    const void* end = std::memchr(text, 0, width);
    return end ? static_cast<size_t>(static_cast<const char*>(end) - text) : width;
}

bool RandomBytes(void* out, size_t size)
{
    return size <= INT_MAX && RAND_bytes(static_cast<unsigned char*>(out), static_cast<int>(size)) == 1;
}

bool Sha256(const std::vector<uint8_t>& data, uint8_t out[32])
{
    unsigned int length = 0;
    return EVP_Digest(data.data(), data.size(), out, &length, EVP_sha256(), nullptr) == 1 && length == 32;
}

bool HmacSha256(const void* key, size_t keySize, const std::vector<uint8_t>& message, uint8_t out[32])
{
    std::unique_ptr<EVP_MAC, decltype(&EVP_MAC_free)> mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr), EVP_MAC_free);
    if (!mac)
        return false;
    std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)> ctx(EVP_MAC_CTX_new(mac.get()), EVP_MAC_CTX_free);
    if (!ctx)
        return false;
    char digest[] = "SHA256";
    const OSSL_PARAM params[]
        = { OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0), OSSL_PARAM_construct_end() };
    // An empty key is valid for HMAC; pass a dummy pointer so OpenSSL sees a key.
    static const unsigned char empty = 0;
    const auto* k = keySize ? static_cast<const unsigned char*>(key) : &empty;
    size_t length = 0;
    return EVP_MAC_init(ctx.get(), k, keySize, params) == 1
        && EVP_MAC_update(ctx.get(), message.data(), message.size()) == 1
        && EVP_MAC_final(ctx.get(), out, &length, 32) == 1 && length == 32;
}

namespace
{
void Append(std::vector<uint8_t>& v, const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    v.insert(v.end(), p, p + size);
}

void AppendLabel(std::vector<uint8_t>& v, const char* label)
{
    Append(v, label, std::strlen(label));
}
} // namespace

bool LoginProof(const std::string& password, const uint8_t* serverNonce, const uint8_t* clientNonce,
    const std::string& userName, uint8_t out[32])
{
    std::vector<uint8_t> m;
    AppendLabel(m, "ZVNP-LOGIN");
    Append(m, serverNonce, kNonceSize);
    Append(m, clientNonce, kNonceSize);
    Append(m, userName.data(), userName.size());
    return HmacSha256(password.data(), password.size(), m, out);
}

bool SessionKey(const std::string& password, const uint8_t* serverNonce, const uint8_t* clientNonce, uint8_t out[32])
{
    std::vector<uint8_t> m;
    AppendLabel(m, "ZVNP-SESSION");
    Append(m, serverNonce, kNonceSize);
    Append(m, clientNonce, kNonceSize);
    return HmacSha256(password.data(), password.size(), m, out);
}

bool SetNetworkProof(const std::string& password, const uint8_t* serverNonce, const uint8_t* clientNonce,
    const uint8_t* record, uint8_t out[32])
{
    std::vector<uint8_t> m;
    AppendLabel(m, "ZVNP-SETNET");
    Append(m, serverNonce, kNonceSize);
    Append(m, clientNonce, kNonceSize);
    Append(m, record, kNewDevInfoSize);
    return HmacSha256(password.data(), password.size(), m, out);
}

bool Mask(const uint8_t key[32], uint32_t requestId, uint8_t* data, size_t size)
{
    std::vector<uint8_t> in(kKeySize + 8);
    std::memcpy(in.data(), key, kKeySize);
    PutU32(in.data() + kKeySize, requestId);
    uint8_t block[32];
    for (size_t done = 0, k = 0; done < size; ++k) {
        PutU32(in.data() + kKeySize + 4, static_cast<uint32_t>(k));
        if (!Sha256(in, block))
            return false;
        for (size_t i = 0; i < 32 && done < size; ++i, ++done)
            data[done] ^= block[i];
    }
    return true;
}

bool X25519Generate(uint8_t privateKey[32], uint8_t publicKey[32])
{
    if (!RandomBytes(privateKey, 32))
        return false;
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, privateKey, 32), EVP_PKEY_free);
    size_t length = 32;
    return key && EVP_PKEY_get_raw_public_key(key.get(), publicKey, &length) == 1 && length == 32;
}

bool X25519Shared(const uint8_t privateKey[32], const uint8_t peerPublic[32], uint8_t out[32])
{
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> own(
        EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, privateKey, 32), EVP_PKEY_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> peer(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, peerPublic, 32), EVP_PKEY_free);
    if (!own || !peer)
        return false;
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new(own.get(), nullptr), EVP_PKEY_CTX_free);
    size_t length = 32;
    return ctx && EVP_PKEY_derive_init(ctx.get()) == 1 && EVP_PKEY_derive_set_peer(ctx.get(), peer.get()) == 1
        && EVP_PKEY_derive(ctx.get(), out, &length) == 1 && length == 32;
}

bool SavePasswordKey(const uint8_t shared[32], const uint8_t* serverNonce, uint8_t out[32])
{
    std::vector<uint8_t> m;
    Append(m, shared, 32);
    Append(m, serverNonce, kNonceSize);
    return Sha256(m, out);
}

bool Equal32(const uint8_t* a, const uint8_t* b)
{
    return CRYPTO_memcmp(a, b, 32) == 0;
}
} // namespace zvwire
