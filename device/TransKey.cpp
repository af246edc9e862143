#include "TransKey.h"

#include "HttpClient.h"
#include "JsonRead.h"
#include "PasswordCrypto.h"

namespace
{
using JsonRead::Member;
using JsonRead::ReadInt;
using JsonRead::ReadText;

const Json::Value* KeyEntry(const Json::Value& reply, Json::ArrayIndex index)
{
    const Json::Value* data = Member(reply, "data");
    const Json::Value* list = data ? Member(*data, "Key_lists") : nullptr;
    if (!list || !list->isArray() || index >= list->size())
        return nullptr;
    const Json::Value& entry = (*list)[index];
    return entry.isObject() ? &entry : nullptr;
}
} // namespace

bool ReadSaltEntry(const Json::Value& reply, Json::ArrayIndex index, SaltEntry& entry)
{
    const Json::Value* item = KeyEntry(reply, index);
    SaltEntry read;
    if (!item || !ReadText(*item, "key", read.key) || !ReadInt(*item, "iter", read.iter)
        || !ReadInt(*item, "seq", read.seq))
        return false;
    entry = read;
    return true;
}

bool ReadDeviceKeyEntry(const Json::Value& reply, Json::ArrayIndex index, DeviceKeyEntry& entry)
{
    const Json::Value* item = KeyEntry(reply, index);
    DeviceKeyEntry read;
    std::string text;
    // The key text starts with one character that is not part of the key.
    if (!item || !ReadText(*item, "key", text) || text.size() < 2 || !ReadInt(*item, "seq", read.seq))
        return false;
    read.key = text.substr(1);
    entry = read;
    return true;
}

bool RequestTransKeys(HttpClient& client, const std::string& base, TransKeyForm form, TransKeys& keys)
{
    const char* request = form == TransKeyForm::Salt ? kTransKeySaltRequest
        : form == TransKeyForm::SaltAndDeviceKey     ? kTransKeySaltAndKeyRequest
                                                     : kLoginTransKeyRequest;
    if (!client.PostJson(base + request))
        return false;
    Json::CharReaderBuilder builder;
    Json::Value reply;
    std::string errors;
    if (!ParseJsonText(builder, client.GetResponse(), reply, errors))
        return false;
    switch (form) {
    case TransKeyForm::Salt: return ReadSaltEntry(reply, 0, keys.salt);
    case TransKeyForm::SaltAndDeviceKey:
        return ReadSaltEntry(reply, 0, keys.salt) && ReadDeviceKeyEntry(reply, 1, keys.deviceKey);
    case TransKeyForm::LoginDeviceKey: return ReadDeviceKeyEntry(reply, 0, keys.deviceKey);
    }
    return false;
}

bool MakeSecondaryAuthentication(const std::string& password, const SaltEntry& salt, Json::Value& object)
{
    std::string cipher;
    if (!SecondaryAuthentication(password, salt.key, salt.iter, cipher))
        return false;
    object = Json::Value(Json::objectValue);
    object["cipher"] = cipher;
    object["seq"] = salt.seq;
    return true;
}

bool MakeEncryptedPassword(const std::string& newPassword, const DeviceKeyEntry& key, Json::Value& object)
{
    std::string peerKey, cipher;
    if (!EncryptedPassword(newPassword, key.key, peerKey, cipher))
        return false;
    object = Json::Value(Json::objectValue);
    object["seq"] = key.seq;
    object["cipher"] = "0" + cipher;
    object["peer_key"] = "0" + peerKey;
    return true;
}
