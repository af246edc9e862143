#include "DeviceCrypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>

#include <memory>

namespace fakedevice::devicecrypto
{
namespace
{
const unsigned char* U(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}
unsigned char* U(std::string& text)
{
    return reinterpret_cast<unsigned char*>(&text[0]);
}

struct PKeyFree
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
template <typename T> using Owned = std::unique_ptr<T, PKeyFree>;
} // namespace

std::string RandomBytes(size_t size)
{
    std::string bytes(size, '\0');
    if (size > 0)
        RAND_bytes(U(bytes), static_cast<int>(size));
    return bytes;
}

std::string ToBase64(const std::string& bytes)
{
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(U(text), U(bytes), static_cast<int>(bytes.size()));
    text.resize(static_cast<size_t>(length));
    return text;
}

bool FromBase64(const std::string& text, std::string& bytes)
{
    if (text.empty() || text.size() % 4 != 0)
        return false;
    std::string out(text.size() / 4 * 3, '\0');
    // EVP_DecodeBlock keeps the padding bytes as zeros; count them off.
    const int length = EVP_DecodeBlock(U(out), U(text), static_cast<int>(text.size()));
    if (length < 0)
        return false;
    size_t padding = 0;
    while (padding < 2 && text[text.size() - 1 - padding] == '=')
        ++padding;
    out.resize(static_cast<size_t>(length) - padding);
    bytes = out;
    return true;
}

std::string ToHex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Pbkdf2Sha256(const std::string& password, const std::string& salt, int iterations, size_t length)
{
    std::string out(length, '\0');
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), U(salt), static_cast<int>(salt.size()),
            iterations, EVP_sha256(), static_cast<int>(length), U(out))
        != 1)
        return std::string();
    return out;
}

std::string HmacSha256(const std::string& key, const std::string& data)
{
    std::string out(32, '\0');
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), U(data), data.size(), U(out), &length))
        return std::string();
    out.resize(length);
    return out;
}

bool SameBytes(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

KeyPair NewX25519KeyPair()
{
    KeyPair pair;
    Owned<EVP_PKEY> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "X25519"));
    pair.privateKey.assign(32, '\0');
    pair.publicKey.assign(32, '\0');
    size_t privateLength = 32, publicLength = 32;
    if (!key || EVP_PKEY_get_raw_private_key(key.get(), U(pair.privateKey), &privateLength) != 1
        || EVP_PKEY_get_raw_public_key(key.get(), U(pair.publicKey), &publicLength) != 1)
        return KeyPair();
    return pair;
}

bool DecryptPassword(const std::string& devicePrivateKey, const std::string& peerKeyText, const std::string& cipherText,
    std::string& password, std::string& error)
{
    password.clear();
    std::string peerKey, block;
    if (peerKeyText.size() < 2 || peerKeyText[0] != '0' || !FromBase64(peerKeyText.substr(1), peerKey)
        || peerKey.size() != 32) {
        error = "peer_key";
        return false;
    }
    if (cipherText.size() < 2 || cipherText[0] != '0' || !FromBase64(cipherText.substr(1), block)
        || block.size() < 28) {
        error = "cipher";
        return false;
    }

    Owned<EVP_PKEY> own(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, U(devicePrivateKey), 32));
    Owned<EVP_PKEY> peer(EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, U(peerKey), 32));
    Owned<EVP_PKEY_CTX> agree(own ? EVP_PKEY_CTX_new(own.get(), nullptr) : nullptr);
    std::string secret(32, '\0');
    size_t secretLength = 32;
    if (!peer || !agree || EVP_PKEY_derive_init(agree.get()) != 1
        || EVP_PKEY_derive_set_peer(agree.get(), peer.get()) != 1
        || EVP_PKEY_derive(agree.get(), U(secret), &secretLength) != 1 || secretLength != 32) {
        error = "x25519";
        return false;
    }

    // One HKDF context, expand only: the key with info "expand key", then the
    // IV after appending "expand iv" to the info.
    Owned<EVP_PKEY_CTX> hkdf(EVP_PKEY_CTX_new_id(EVP_PKEY_HKDF, nullptr));
    std::string key(32, '\0'), iv(12, '\0');
    size_t keyLength = 32, ivLength = 12;
    if (!hkdf || EVP_PKEY_derive_init(hkdf.get()) != 1
        || EVP_PKEY_CTX_set_hkdf_mode(hkdf.get(), EVP_PKEY_HKDEF_MODE_EXPAND_ONLY) != 1
        || EVP_PKEY_CTX_set_hkdf_md(hkdf.get(), EVP_sha256()) != 1
        || EVP_PKEY_CTX_set1_hkdf_key(hkdf.get(), U(secret), 32) != 1
        || EVP_PKEY_CTX_add1_hkdf_info(hkdf.get(), reinterpret_cast<const unsigned char*>("expand key"), 10) != 1
        || EVP_PKEY_derive(hkdf.get(), U(key), &keyLength) != 1
        || EVP_PKEY_CTX_add1_hkdf_info(hkdf.get(), reinterpret_cast<const unsigned char*>("expand iv"), 9) != 1
        || EVP_PKEY_derive(hkdf.get(), U(iv), &ivLength) != 1) {
        error = "hkdf";
        return false;
    }

    const size_t textLength = block.size() - 28;
    if (!SameBytes(block.substr(textLength, 12), iv)) {
        error = "iv";
        return false;
    }
    std::string tag = block.substr(textLength + 12, 16);
    Owned<EVP_CIPHER_CTX> aes(EVP_CIPHER_CTX_new());
    std::string plain(textLength + 16, '\0');
    int written = 0, finalWritten = 0;
    if (!aes || EVP_DecryptInit_ex(aes.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1
        || EVP_CIPHER_CTX_ctrl(aes.get(), EVP_CTRL_AEAD_SET_IVLEN, 12, nullptr) != 1
        || EVP_DecryptInit_ex(aes.get(), nullptr, nullptr, U(key), U(iv)) != 1
        || (textLength > 0
            && EVP_DecryptUpdate(aes.get(), U(plain), &written, U(block), static_cast<int>(textLength)) != 1)
        || EVP_CIPHER_CTX_ctrl(aes.get(), EVP_CTRL_AEAD_SET_TAG, 16, &tag[0]) != 1
        || EVP_DecryptFinal_ex(aes.get(), U(plain) + written, &finalWritten) != 1) {
        error = "gcm";
        return false;
    }
    plain.resize(static_cast<size_t>(written + finalWritten));
    OPENSSL_cleanse(&key[0], key.size());
    OPENSSL_cleanse(&secret[0], secret.size());
    password = plain;
    error.clear();
    return true;
}
} // namespace fakedevice::devicecrypto
