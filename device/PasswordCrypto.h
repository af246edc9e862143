#pragma once

// The two password protections of the HTTP JSON API, on OpenSSL:
// - SecondaryAuthentication: PBKDF2-HMAC-SHA256 of the login password over
//   the device's salt, as long as the salt;
// - EncryptedPassword: a fresh X25519 key pair agreed with the device's key,
//   HKDF-SHA256 (expand only) gives the AES-256-GCM key and IV, the device
//   gets ciphertext || IV || tag and our public key.
// Passwords are Latin-1 byte strings. Every function refuses input outside
// the protocol with false or an empty result and never throws.

#include <cstddef>
#include <string>

// Standard alphabet, "=" padding, no line breaks. Inputs above 768 bytes and
// null data give an empty text.
std::string Base64Encode(const unsigned char* data, int length);
// Empty when text is null, not canonical base64, or decodes to more than
// 1,024 bytes.
std::string Base64Decode(const char* text, int length);
inline std::string Base64Decode(const std::string& text)
{
    return Base64Decode(text.data(), static_cast<int>(text.size()));
}

// cipher = base64 of the derived bytes (emptied first). False for an empty,
// undecodable or over-long salt, or an iteration count outside 1..kMaxIterations.
bool SecondaryAuthentication(
    const std::string& password, const std::string& saltBase64, int iterations, std::string& cipher);
// deviceKeyBase64 is the device's key text without its leading character.
// peerKey and cipher receive bare base64 texts; both are emptied first and
// stay empty when any step fails, so nothing is sent.
bool EncryptedPassword(
    const std::string& newPassword, const std::string& deviceKeyBase64, std::string& peerKey, std::string& cipher);

namespace PasswordCrypto
{
inline constexpr size_t kKeyBytes = 32;
inline constexpr size_t kIvBytes = 12;
inline constexpr size_t kTagBytes = 16;
inline constexpr size_t kMaxSaltBytes = 32;
inline constexpr size_t kMaxDeviceKeyChars = 127;
inline constexpr size_t kMaxPasswordBytes = 127;
inline constexpr int kMaxEncodeBytes = 768;
inline constexpr int kMaxDecodeBytes = 1024;
// Far above what devices ask for; bounds the time a hostile count can cost.
inline constexpr int kMaxIterations = 10000000;

// The building blocks, also checked against published vectors.
bool Pbkdf2Sha256(
    const std::string& password, const std::string& salt, int iterations, unsigned char* out, size_t length);
bool X25519PublicKey(const unsigned char privateKey[kKeyBytes], unsigned char publicKey[kKeyBytes]);
bool X25519SharedSecret(const unsigned char privateKey[kKeyBytes], const unsigned char peerPublicKey[kKeyBytes],
    unsigned char secret[kKeyBytes]);
bool HkdfSha256Expand(
    const unsigned char* key, size_t keyLength, const std::string& info, unsigned char* out, size_t length);
bool Aes256GcmEncrypt(const unsigned char key[kKeyBytes], const unsigned char iv[kIvBytes], const std::string& plain,
    std::string& cipher, unsigned char tag[kTagBytes]);
// EncryptedPassword with a given private key instead of a fresh one.
bool EncryptedPasswordWithKey(const std::string& newPassword, const std::string& deviceKeyBase64,
    const unsigned char privateKey[kKeyBytes], std::string& peerKey, std::string& cipher);
} // namespace PasswordCrypto
