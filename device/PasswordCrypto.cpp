#include "PasswordCrypto.h"

#include <openssl/bio.h>
#include <openssl/buffer.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
template <typename T, void (*Free)(T*)> struct Deleter
{
    void operator()(T* p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using PKey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using PKeyCtx = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, Deleter<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>>;
using Kdf = std::unique_ptr<EVP_KDF, Deleter<EVP_KDF, EVP_KDF_free>>;
using KdfCtx = std::unique_ptr<EVP_KDF_CTX, Deleter<EVP_KDF_CTX, EVP_KDF_CTX_free>>;

// Zeroes key material when it goes out of scope.
template <size_t N> struct SecretBytes
{
    unsigned char data[N] = {};
    ~SecretBytes() { OPENSSL_cleanse(data, N); }
};

// Each OpenSSL result of the key agreement and encryption goes to standard
// output, one number a line, for field diagnosis.
bool Step(int result)
{
    std::printf("%d\n", result);
    return result == 1;
}

int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Whole groups of four alphabet characters, "=" only as the last one or two.
// Returns the decoded length, or -1.
int DecodedLength(const char* text, int length)
{
    if (length % 4 != 0)
        return -1;
    int padding = 0;
    for (int i = 0; i < length; ++i) {
        if (text[i] == '=') {
            if (i < length - 2)
                return -1;
            ++padding;
        } else if (padding > 0 || Base64Value(text[i]) < 0) {
            return -1;
        }
    }
    return length / 4 * 3 - padding;
}

const unsigned char* Bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}
} // namespace

std::string Base64Encode(const unsigned char* data, int length)
{
    if (!data) {
        std::puts("Wrong buffer");
        return std::string();
    }
    if (length <= 0 || length > PasswordCrypto::kMaxEncodeBytes)
        return std::string();
    Bio b64(BIO_new(BIO_f_base64()));
    BIO* memory = BIO_new(BIO_s_mem());
    if (!b64 || !memory) {
        BIO_free(memory);
        return std::string();
    }
    BIO_set_flags(b64.get(), BIO_FLAGS_BASE64_NO_NL);
    BIO_push(b64.get(), memory);
    if (BIO_write(b64.get(), data, length) != length || BIO_flush(b64.get()) != 1)
        return std::string();
    BUF_MEM* buffer = nullptr;
    BIO_get_mem_ptr(memory, &buffer);
    if (!buffer)
        return std::string();
    return std::string(buffer->data, buffer->length);
}

std::string Base64Decode(const char* text, int length)
{
    if (!text) {
        std::puts("Wrong src");
        return std::string();
    }
    if (length <= 0)
        return std::string();
    const int expected = DecodedLength(text, length);
    if (expected <= 0 || expected > PasswordCrypto::kMaxDecodeBytes)
        return std::string();
    Bio b64(BIO_new(BIO_f_base64()));
    BIO* memory = BIO_new_mem_buf(text, length);
    if (!b64 || !memory) {
        BIO_free(memory);
        return std::string();
    }
    BIO_set_flags(b64.get(), BIO_FLAGS_BASE64_NO_NL);
    BIO_push(b64.get(), memory);
    std::string out(static_cast<size_t>(length) / 4 * 3, '\0');
    int total = 0;
    for (;;) {
        const int got = BIO_read(b64.get(), &out[total], static_cast<int>(out.size()) - total);
        if (got <= 0)
            break;
        total += got;
        if (total == static_cast<int>(out.size()))
            break;
    }
    if (total != expected)
        return std::string();
    out.resize(total);
    return out;
}

namespace PasswordCrypto
{
bool Pbkdf2Sha256(
    const std::string& password, const std::string& salt, int iterations, unsigned char* out, size_t length)
{
    if (!out || length == 0 || salt.empty() || iterations < 1 || iterations > kMaxIterations)
        return false;
    Kdf kdf(EVP_KDF_fetch(nullptr, OSSL_KDF_NAME_PBKDF2, nullptr));
    KdfCtx ctx(kdf ? EVP_KDF_CTX_new(kdf.get()) : nullptr);
    if (!ctx)
        return false;
    static char empty = 0;
    unsigned int iter = static_cast<unsigned int>(iterations);
    int pkcs5 = 1; // the protocol's salts are shorter than SP 800-132 asks
    char digest[] = "SHA256";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_octet_string(
            OSSL_KDF_PARAM_PASSWORD, password.empty() ? &empty : const_cast<char*>(password.data()), password.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<char*>(salt.data()), salt.size()),
        OSSL_PARAM_construct_uint(OSSL_KDF_PARAM_ITER, &iter),
        OSSL_PARAM_construct_int(OSSL_KDF_PARAM_PKCS5, &pkcs5),
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_end(),
    };
    if (EVP_KDF_derive(ctx.get(), out, length, params) != 1) {
        OPENSSL_cleanse(out, length);
        return false;
    }
    return true;
}

bool X25519PublicKey(const unsigned char privateKey[kKeyBytes], unsigned char publicKey[kKeyBytes])
{
    PKey key(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, privateKey, kKeyBytes));
    size_t length = kKeyBytes;
    return key && Step(EVP_PKEY_get_raw_public_key(key.get(), publicKey, &length)) && length == kKeyBytes;
}

bool X25519SharedSecret(const unsigned char privateKey[kKeyBytes], const unsigned char peerPublicKey[kKeyBytes],
    unsigned char secret[kKeyBytes])
{
    PKey own(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, privateKey, kKeyBytes));
    PKey peer(EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, peerPublicKey, kKeyBytes));
    if (!own || !peer)
        return false;
    PKeyCtx ctx(EVP_PKEY_CTX_new(own.get(), nullptr));
    if (!ctx || !Step(EVP_PKEY_derive_init(ctx.get())) || !Step(EVP_PKEY_derive_set_peer(ctx.get(), peer.get())))
        return false;
    size_t length = 0;
    if (!Step(EVP_PKEY_derive(ctx.get(), nullptr, &length)) || length != kKeyBytes)
        return false;
    // OpenSSL refuses an all-zero result (a small-order device key).
    if (!Step(EVP_PKEY_derive(ctx.get(), secret, &length)) || length != kKeyBytes) {
        OPENSSL_cleanse(secret, kKeyBytes);
        return false;
    }
    return true;
}

bool HkdfSha256Expand(
    const unsigned char* key, size_t keyLength, const std::string& info, unsigned char* out, size_t length)
{
    if (!key || keyLength == 0 || !out || length == 0)
        return false;
    Kdf kdf(EVP_KDF_fetch(nullptr, OSSL_KDF_NAME_HKDF, nullptr));
    KdfCtx ctx(kdf ? EVP_KDF_CTX_new(kdf.get()) : nullptr);
    if (!ctx)
        return false;
    int mode = EVP_KDF_HKDF_MODE_EXPAND_ONLY;
    char digest[] = "SHA256";
    std::vector<OSSL_PARAM> params {
        OSSL_PARAM_construct_int(OSSL_KDF_PARAM_MODE, &mode),
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<unsigned char*>(key), keyLength),
    };
    if (!info.empty())
        params.push_back(
            OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, const_cast<char*>(info.data()), info.size()));
    params.push_back(OSSL_PARAM_construct_end());
    if (!Step(EVP_KDF_derive(ctx.get(), out, length, params.data()))) {
        OPENSSL_cleanse(out, length);
        return false;
    }
    return true;
}

bool Aes256GcmEncrypt(const unsigned char key[kKeyBytes], const unsigned char iv[kIvBytes], const std::string& plain,
    std::string& cipher, unsigned char tag[kTagBytes])
{
    cipher.clear();
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    if (!ctx || !Step(EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr))
        || !Step(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(kIvBytes), nullptr))
        || !Step(EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, key, iv)))
        return false;
    std::string out(plain.size() + kTagBytes, '\0');
    int written = 0;
    if (!plain.empty()
        && !Step(EVP_EncryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(&out[0]), &written, Bytes(plain),
            static_cast<int>(plain.size()))))
        return false;
    int finalWritten = 0;
    if (!Step(EVP_EncryptFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(&out[written]), &finalWritten))
        || !Step(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, static_cast<int>(kTagBytes), tag)))
        return false;
    out.resize(static_cast<size_t>(written + finalWritten));
    if (out.size() != plain.size())
        return false;
    cipher = std::move(out);
    return true;
}

bool EncryptedPasswordWithKey(const std::string& newPassword, const std::string& deviceKeyBase64,
    const unsigned char privateKey[kKeyBytes], std::string& peerKey, std::string& cipher)
{
    peerKey.clear();
    cipher.clear();
    if (newPassword.size() > kMaxPasswordBytes || deviceKeyBase64.empty()
        || deviceKeyBase64.size() > kMaxDeviceKeyChars)
        return false;
    const std::string deviceKey = Base64Decode(deviceKeyBase64);
    if (deviceKey.size() != kKeyBytes)
        return false;

    unsigned char publicKey[kKeyBytes] = {};
    SecretBytes<kKeyBytes> secret;
    SecretBytes<kKeyBytes> aesKey;
    SecretBytes<kIvBytes> iv;
    static const std::string kKeyInfo = "expand key";
    // The device derives the IV on the same HKDF context after the key, and
    // OpenSSL appends info: so the IV's info is both labels together.
    static const std::string kIvInfo = kKeyInfo + "expand iv";
    if (!X25519PublicKey(privateKey, publicKey) || !X25519SharedSecret(privateKey, Bytes(deviceKey), secret.data)
        || !HkdfSha256Expand(secret.data, kKeyBytes, kKeyInfo, aesKey.data, kKeyBytes)
        || !HkdfSha256Expand(secret.data, kKeyBytes, kIvInfo, iv.data, kIvBytes))
        return false;

    std::string block;
    unsigned char tag[kTagBytes] = {};
    if (!Aes256GcmEncrypt(aesKey.data, iv.data, newPassword, block, tag))
        return false;
    block.append(reinterpret_cast<const char*>(iv.data), kIvBytes);
    block.append(reinterpret_cast<const char*>(tag), kTagBytes);

    std::string peerText = Base64Encode(publicKey, static_cast<int>(kKeyBytes));
    std::string cipherText = Base64Encode(Bytes(block), static_cast<int>(block.size()));
    if (peerText.empty() || cipherText.empty())
        return false;
    peerKey = std::move(peerText);
    cipher = std::move(cipherText);
    return true;
}
} // namespace PasswordCrypto

bool SecondaryAuthentication(
    const std::string& password, const std::string& saltBase64, int iterations, std::string& cipher)
{
    cipher.clear();
    const std::string salt = Base64Decode(saltBase64);
    // The derived key is as long as the salt and must fit its 32-byte buffer.
    if (salt.empty() || salt.size() > PasswordCrypto::kMaxSaltBytes)
        return false;
    SecretBytes<PasswordCrypto::kMaxSaltBytes> derived;
    if (!PasswordCrypto::Pbkdf2Sha256(password, salt, iterations, derived.data, salt.size()))
        return false;
    cipher = Base64Encode(derived.data, static_cast<int>(salt.size()));
    return !cipher.empty();
}

bool EncryptedPassword(
    const std::string& newPassword, const std::string& deviceKeyBase64, std::string& peerKey, std::string& cipher)
{
    peerKey.clear();
    cipher.clear();
    // A fresh key pair for every password; OpenSSL's raw keys are always 32
    // bytes, the bound only keeps a broken library from looping.
    for (int attempt = 0; attempt < 3; ++attempt) {
        PKeyCtx ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_X25519, nullptr));
        EVP_PKEY* generated = nullptr;
        if (!ctx || !Step(EVP_PKEY_keygen_init(ctx.get())) || !Step(EVP_PKEY_keygen(ctx.get(), &generated)))
            return false;
        PKey key(generated);
        SecretBytes<PasswordCrypto::kKeyBytes> privateKey;
        unsigned char publicKey[PasswordCrypto::kKeyBytes] = {};
        size_t privateLength = PasswordCrypto::kKeyBytes;
        size_t publicLength = PasswordCrypto::kKeyBytes;
        if (!Step(EVP_PKEY_get_raw_public_key(key.get(), publicKey, &publicLength))
            || !Step(EVP_PKEY_get_raw_private_key(key.get(), privateKey.data, &privateLength)))
            return false;
        if (publicLength == PasswordCrypto::kKeyBytes && privateLength == PasswordCrypto::kKeyBytes)
            return PasswordCrypto::EncryptedPasswordWithKey(
                newPassword, deviceKeyBase64, privateKey.data, peerKey, cipher);
    }
    return false;
}
