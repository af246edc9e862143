#pragma once

// The device's key requests and the protection objects built from their
// entries. Replies are read with type checks: a member of the wrong type, a
// missing or empty one, or a short Key_lists makes the request fail.

#include <json/json.h>

#include <string>

class HttpClient;

inline constexpr const char* kTransKeySaltRequest
    = "/API/Maintenance/TransKey/Get{\"data\":{\"type\":[\"base_salt\"]}}";
inline constexpr const char* kTransKeySaltAndKeyRequest
    = "/API/Maintenance/TransKey/Get{\"data\":{\"type\":[\"base_salt\",\"base_x_public\"]}}";
// Sent without a session: empty cookie, csrf token "Undefined".
inline constexpr const char* kLoginTransKeyRequest
    = "/API/Login/TransKey/Get{\"version\":\"1.0\",\"data\":{\"type\":[\"base_x_public\"]}}";
inline constexpr const char* kNoSessionCsrfToken = "Undefined";

struct SaltEntry
{
    std::string key; // base64 salt
    int iter = 0;
    int seq = 0;
};

struct DeviceKeyEntry
{
    std::string key; // base64 X25519 key, its leading character already dropped
    int seq = 0;
};

enum class TransKeyForm
{
    Salt, // Key_lists[0] salt
    SaltAndDeviceKey, // Key_lists[0] salt, [1] device key
    LoginDeviceKey, // Key_lists[0] device key, no session
};

struct TransKeys
{
    SaltEntry salt;
    DeviceKeyEntry deviceKey;
};

// Entry index of data.Key_lists in a parsed reply.
bool ReadSaltEntry(const Json::Value& reply, Json::ArrayIndex index, SaltEntry& entry);
bool ReadDeviceKeyEntry(const Json::Value& reply, Json::ArrayIndex index, DeviceKeyEntry& entry);

// POSTs the key request of form to base (HttpRequestBase) with client and
// reads the entries it asks for. False on a failed request, a reply that does
// not parse, or an entry that does not read.
bool RequestTransKeys(HttpClient& client, const std::string& base, TransKeyForm form, TransKeys& keys);

// {"cipher": SecondaryAuthentication, "seq": salt seq}; object stays null on failure.
bool MakeSecondaryAuthentication(const std::string& password, const SaltEntry& salt, Json::Value& object);
// {"seq": key seq, "cipher": "0" + ciphertext, "peer_key": "0" + our key}; object stays null on failure.
bool MakeEncryptedPassword(const std::string& newPassword, const DeviceKeyEntry& key, Json::Value& object);
