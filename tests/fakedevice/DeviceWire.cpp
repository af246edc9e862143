#include "DeviceWire.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>

namespace fakedevice::wire
{
uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const uint8_t* p)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

uint64_t U64(const uint8_t* p)
{
    return U32(p) | (static_cast<uint64_t>(U32(p + 4)) << 32);
}

void Append16(Bytes& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Append32(Bytes& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Append64(Bytes& out, uint64_t v)
{
    Append32(out, static_cast<uint32_t>(v));
    Append32(out, static_cast<uint32_t>(v >> 32));
}

Bytes Encode(const Frame& frame)
{
    Bytes out;
    out.reserve(kHeaderSize + frame.payload.size());
    Append32(out, kMagic);
    Append16(out, kVersion);
    Append16(out, frame.type);
    Append32(out, frame.requestId);
    Append32(out, frame.status);
    Append32(out, static_cast<uint32_t>(frame.payload.size()));
    out.insert(out.end(), frame.payload.begin(), frame.payload.end());
    return out;
}

bool ParseHeader(const uint8_t* data, Frame& frame, uint32_t& length, uint32_t maxPayload)
{
    if (U32(data) != kMagic || U16(data + 4) != kVersion)
        return false;
    frame.type = U16(data + 6);
    frame.requestId = U32(data + 8);
    frame.status = U32(data + 12);
    length = U32(data + 16);
    return length <= maxPayload;
}

bool Random(uint8_t* out, size_t size)
{
    return RAND_bytes(out, static_cast<int>(size)) == 1;
}

Bytes Sha256(const Bytes& data)
{
    Bytes out(32, 0);
    unsigned int size = 0;
    if (EVP_Digest(data.data(), data.size(), out.data(), &size, EVP_sha256(), nullptr) != 1 || size != 32)
        return Bytes(32, 0);
    return out;
}

Bytes Hmac(const std::string& key, const Bytes& message)
{
    Bytes out(32, 0);
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* ctx = mac ? EVP_MAC_CTX_new(mac) : nullptr;
    char digest[] = "SHA256";
    OSSL_PARAM params[] = { OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0), OSSL_PARAM_END };
    size_t size = 0;
    // An empty key is legal for HMAC; hand OpenSSL a valid pointer anyway.
    static const uint8_t empty = 0;
    const uint8_t* k = key.empty() ? &empty : reinterpret_cast<const uint8_t*>(key.data());
    if (!ctx || EVP_MAC_init(ctx, k, key.size(), params) != 1
        || EVP_MAC_update(ctx, message.data(), message.size()) != 1
        || EVP_MAC_final(ctx, out.data(), &size, out.size()) != 1 || size != 32)
        out.assign(32, 0);
    EVP_MAC_CTX_free(ctx);
    EVP_MAC_free(mac);
    return out;
}

Bytes Concat(const char* label, std::initializer_list<std::pair<const uint8_t*, size_t>> parts)
{
    Bytes out(label, label + std::strlen(label));
    for (const auto& part : parts)
        out.insert(out.end(), part.first, part.first + part.second);
    return out;
}

void Mask(const Bytes& key, uint32_t requestId, uint8_t* data, size_t size)
{
    for (size_t offset = 0, k = 0; offset < size; offset += 32, ++k) {
        Bytes input = key;
        Append32(input, requestId);
        Append32(input, static_cast<uint32_t>(k));
        const Bytes block = Sha256(input);
        for (size_t i = 0; i < 32 && offset + i < size; ++i)
            data[offset + i] ^= block[i];
    }
}

bool X25519Pair(Bytes& privateKey, Bytes& publicKey)
{
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "X25519");
    if (!key)
        return false;
    privateKey.assign(32, 0);
    publicKey.assign(32, 0);
    size_t a = 32, b = 32;
    const bool ok = EVP_PKEY_get_raw_private_key(key, privateKey.data(), &a) == 1
        && EVP_PKEY_get_raw_public_key(key, publicKey.data(), &b) == 1 && a == 32 && b == 32;
    EVP_PKEY_free(key);
    return ok;
}

Bytes X25519Shared(const Bytes& privateKey, const uint8_t* peerPublic)
{
    Bytes out(32, 0);
    EVP_PKEY* own = EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, privateKey.data(), privateKey.size());
    EVP_PKEY* peer = EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, peerPublic, 32);
    EVP_PKEY_CTX* ctx = own ? EVP_PKEY_CTX_new(own, nullptr) : nullptr;
    size_t size = 32;
    if (!ctx || !peer || EVP_PKEY_derive_init(ctx) != 1 || EVP_PKEY_derive_set_peer(ctx, peer) != 1
        || EVP_PKEY_derive(ctx, out.data(), &size) != 1 || size != 32)
        out.clear();
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(peer);
    EVP_PKEY_free(own);
    return out;
}

bool SameDigest(const Bytes& a, const uint8_t* b)
{
    return a.size() == 32 && CRYPTO_memcmp(a.data(), b, 32) == 0;
}

struct Sha256Stream::Impl
{
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
};

Sha256Stream::Sha256Stream()
    : m_impl(new Impl)
{
    Reset();
}

Sha256Stream::~Sha256Stream()
{
    EVP_MD_CTX_free(m_impl->ctx);
    delete m_impl;
}

void Sha256Stream::Reset()
{
    if (m_impl->ctx)
        EVP_DigestInit_ex(m_impl->ctx, EVP_sha256(), nullptr);
}

void Sha256Stream::Add(const uint8_t* data, size_t size)
{
    if (m_impl->ctx)
        EVP_DigestUpdate(m_impl->ctx, data, size);
}

std::string Sha256Stream::HexDigest()
{
    uint8_t digest[32] = {};
    unsigned int size = 0;
    if (!m_impl->ctx || EVP_DigestFinal_ex(m_impl->ctx, digest, &size) != 1)
        return std::string();
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned i = 0; i < size; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    Reset();
    return text;
}
} // namespace fakedevice::wire
