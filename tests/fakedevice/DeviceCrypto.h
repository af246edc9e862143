#pragma once

// The device side of the HTTP API's password protections and login proof,
// written from the protocol description, not from the program's code.

#include <string>

namespace fakedevice::devicecrypto
{
std::string RandomBytes(size_t size);
std::string ToBase64(const std::string& bytes);
// False for text that is not whole base64 groups.
bool FromBase64(const std::string& text, std::string& bytes);
std::string ToHex(const std::string& bytes);

std::string Pbkdf2Sha256(const std::string& password, const std::string& salt, int iterations, size_t length);
std::string HmacSha256(const std::string& key, const std::string& data);
// Compares without leaking where the texts differ.
bool SameBytes(const std::string& a, const std::string& b);

struct KeyPair
{
    std::string privateKey; // 32 raw bytes
    std::string publicKey; // 32 raw bytes
};
KeyPair NewX25519KeyPair();

// Decrypts an EncryptedPassword: both texts as sent ("0" + base64). On failure
// error names the step that failed.
bool DecryptPassword(const std::string& devicePrivateKey, const std::string& peerKeyText, const std::string& cipherText,
    std::string& password, std::string& error);
} // namespace fakedevice::devicecrypto
