// Password change of a logged-in device (SDK user records or the HTTP JSON
// API) and the first password of a new HTTP-API device.

#include "DeviceOperations.h"
#include "FixedText.h"
#include "WorkerSupport.h"

#include <cstring>

namespace
{
using namespace DeviceOps;

const char* const kUserSetPath = "/API/SystemConfig/User/Set";
const char* const kFirstPasswordPath = "/API/FirstLogin/Password/Set";
const char* const kRecoveryPath = "/API/RecoverPassword/Set";

// Latin-1 bytes of text in a field of width bytes, zero-padded; a text of the
// full width keeps no terminator (the device reads the field by its width).
template <size_t Width> void PutField(char (&field)[Width], const QString& text)
{
    PutText(text, TextCode::Latin1, field, FieldEnd::Padded);
}

bool UsesLongUserFields(const DeviceInfo& device)
{
    ZVNetDevInfo info;
    std::memset(&info, 0, sizeof(info));
    ZVNetGetDevInfo(device.m_handle, &info, sizeof(info));
    return (info.userFieldFlags & ZVNET_DEVINFO_LONG_USER_FIELDS) != 0;
}

int ChangeThroughSdk(DeviceInfo* device)
{
    int result = 0;
    // No user record: there is nothing to write the password into.
    if (!QueryRecords(*device, ZVNET_PARAM_USERS, device->m_userRecords, &DeviceInfo::OnUserRecord, nullptr, result,
            sizeof(ZVNetUserHeader), &DeviceInfo::OnUserListHeader))
        return StatusFailed;
    ZVNetUserParam& first = device->m_userRecords.front();
    const bool longFields = UsesLongUserFields(*device);
    // A password the field cannot hold whole is refused, not cut: the device
    // would keep a password nobody typed.
    if (!FitsLatin1(device->m_newPassword, longFields ? sizeof(first.longPassword) : sizeof(first.shortPassword)))
        return StatusFailed;
    if (longFields) {
        PutField(first.longPassword, device->m_newPassword);
        PutField(first.longUserName, device->m_user);
    } else {
        PutField(first.shortPassword, device->m_newPassword);
        PutField(first.shortUserName, device->m_user);
    }
    first.changeFlag = 1;
    return SetRecords(*device, ZVNET_PARAM_USERS, device->m_userRecords) == 1 ? StatusOk : StatusFailed;
}

int ChangeThroughHttp(DeviceInfo* device)
{
    DeviceHttp http(*device);
    TransKeys keys;
    Json::Value data(Json::objectValue), encrypted;
    if (!http.RequestKeys(TransKeyForm::SaltAndDeviceKey, keys)
        || !DeviceHttp::AddSecondaryAuthentication(data, device->m_password, keys.salt)
        || !MakeEncryptedPassword(device->m_newPassword.toLatin1().toStdString(), keys.deviceKey, encrypted))
        return StatusFailed;
    Json::Value admin(Json::objectValue);
    admin["user_enable"] = true;
    admin["username"] = device->m_user.toStdString(); // JSON text is UTF-8
    admin["password_empty"] = device->m_newPassword.isEmpty();
    admin["login_num"] = 3;
    admin["base_enc_password"] = encrypted;
    data["user_info"]["ADMIN"] = admin;
    data["type"] = "SavePassword";
    Json::Value reply;
    std::string result;
    if (!http.PostForReply(kUserSetPath, RequestBody(data), reply) || !ReadString(&reply, "result", result))
        return StatusFailed;
    return result == "success" ? StatusOk : StatusFailed;
}

int Initialize(DeviceInfo* device)
{
    if (!UsesHttpApi())
        return StatusInitUnavailable;
    DeviceHttp http(*device, DeviceHttp::Session::None);
    TransKeys keys;
    Json::Value encrypted;
    if (!http.RequestKeys(TransKeyForm::LoginDeviceKey, keys)
        || !MakeEncryptedPassword(device->m_newPassword.toLatin1().toStdString(), keys.deviceKey, encrypted))
        return StatusInitUnavailable;
    Json::Value password(Json::objectValue);
    password["base_enc_password"] = encrypted;
    if (!http.Post(kFirstPasswordPath, RequestBody(password)))
        return StatusInitFailed;
    Json::Value recovery(Json::objectValue);
    for (const char* flag : { "answer_flag", "email_flag", "certificate_flag", "super_pwd_flag" })
        recovery[flag] = false;
    return http.Post(kRecoveryPath, RequestBody(recovery)) ? StatusInitOk : StatusInitFailed;
}
} // namespace

namespace DeviceOps
{
void ChangeUserPassword(DeviceInfo* device)
{
    EndApiWorker(device, RequesterChangePassword, &ChangeThroughHttp, &ChangeThroughSdk, &DeviceInfo::m_userRecords);
}

void InitializeDevice(DeviceInfo* device)
{
    // No session was opened: the logout that ends every worker finds nothing.
    device->EndWorker(Initialize(device), RequesterInitial);
}
} // namespace DeviceOps
