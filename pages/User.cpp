#include "User.h"

#include "FixedText.h"
#include "LanguageTexts.h"
#include "PasswordCrypto.h"
#include "PasswordRule.h"
#include "SessionHttp.h"
#include "ZVAppSetting.h"
#include "ZVDevice.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include <cstring>

namespace
{
bool LongUserFields(const ZVDevice& session)
{
    return (session.m_devInfo[offsetof(ZVNetDevInfo, userFieldFlags)] & ZVNET_DEVINFO_LONG_USER_FIELDS) != 0;
}

unsigned NetworkNibble(const ZVDevice& session)
{
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | session.m_devInfo[i];
    return static_cast<unsigned>((bits >> ZVNET_DEVINFO_NETWORK_SHIFT) & ZVNET_DEVINFO_NETWORK_MASK);
}

bool RuleApplies(const ZVDevice* session)
{
    const int nibble = session ? static_cast<int>(NetworkNibble(*session)) : -1;
    return PasswordRule::Applies(PasswordRule::Caller::UserPage, Company(), nibble);
}

// The field the password goes into; a longer password would be cut.
size_t PasswordFieldBytes(const ZVDevice* session)
{
    if (UsesHttpApi())
        return PasswordCrypto::kMaxPasswordBytes;
    return session && LongUserFields(*session) ? 32 : 8;
}

// Latin-1 bytes of text, zero-padded into the field; a text of the full width
// keeps no terminator (the device reads the field by its width).
template <size_t Width> void PutField(char (&field)[Width], const QString& text)
{
    PutText(text, TextCode::Latin1, field, FieldEnd::Padded);
}
} // namespace

User::User(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("User"));
    resize(400, 300);
    auto* layout = new QHBoxLayout(this);
    layout->setObjectName(QStringLiteral("horizontalLayout"));
    layout->setContentsMargins(20, 0, 0, 0);
    auto* form = new QFormLayout;
    form->setObjectName(QStringLiteral("formLayout"));
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_pLabNewPwd = new QLabel(this);
    m_pLabNewPwd->setObjectName(QStringLiteral("m_pLabNewPwd"));
    m_pEdtNewPwd = new QLineEdit(this);
    m_pEdtNewPwd->setObjectName(QStringLiteral("m_pEdtNewPwd"));
    m_pEdtNewPwd->setMinimumSize(100, 25);
    m_pEdtNewPwd->setEchoMode(QLineEdit::Password);
    m_pLabConfirmPwd = new QLabel(this);
    m_pLabConfirmPwd->setObjectName(QStringLiteral("m_pLabConfirmPwd"));
    m_pEdtConfirmPwd = new QLineEdit(this);
    m_pEdtConfirmPwd->setObjectName(QStringLiteral("m_pEdtConfirmPwd"));
    m_pEdtConfirmPwd->setMinimumSize(100, 25);
    m_pEdtConfirmPwd->setEchoMode(QLineEdit::Password);
    form->addRow(m_pLabNewPwd, m_pEdtNewPwd);
    form->addRow(m_pLabConfirmPwd, m_pEdtConfirmPwd);
    layout->addLayout(form);
    Retranslate();
    ZVAppSetting::Instance()->AddLanguageListener(this);
}

User::~User()
{
    ZVAppSetting::Instance()->RemoveLanguageListener(this);
}

void User::Retranslate()
{
    m_pLabNewPwd->setText(LanguageText(73));
    m_pLabConfirmPwd->setText(LanguageText(74));
}

void User::customEvent(QEvent* event)
{
    if (event->type() == LanguageChangedEvent::EventType)
        Retranslate();
}

int User::CheckPassword() const
{
    const QString password = m_pEdtNewPwd->text();
    const int result = PasswordRule::CheckPagePassword(password, m_pEdtConfirmPwd->text(), RuleApplies(m_pDevice));
    if (result != PasswordRule::kAccepted)
        return result;
    // A password the device's field cannot hold whole is refused, not cut.
    if (!FitsLatin1(password, PasswordFieldBytes(m_pDevice)))
        return PasswordRule::kLength;
    return result;
}

void User::ClearPasswords()
{
    m_pEdtNewPwd->clear();
    m_pEdtConfirmPwd->clear();
}

void User::OnUserHeader(const void* record, void* user)
{
    if (record && user)
        std::memcpy(&static_cast<User*>(user)->m_userHeader, record, sizeof(ZVNetUserHeader));
}

void User::OnUserRecord(const void* record, void* user)
{
    if (!record || !user)
        return;
    ZVNetUserParam item;
    std::memcpy(&item, record, sizeof(item));
    static_cast<User*>(user)->m_userRecords.push_back(item);
}

bool User::ApplyPassword()
{
    const QString password = m_pEdtNewPwd->text();
    return UsesHttpApi() ? ApplyThroughHttp(*m_pDevice, password) : ApplyThroughSdk(*m_pDevice, password);
}

bool User::ApplyThroughSdk(ZVDevice& session, const QString& password)
{
    m_userRecords.clear();
    ZVNetQueryParamReq query;
    std::memset(&query, 0, sizeof(query));
    query.paramId = ZVNET_PARAM_USERS;
    query.headerSize = sizeof(ZVNetUserHeader);
    query.headerCallback = &User::OnUserHeader;
    query.itemSize = sizeof(ZVNetUserParam);
    query.itemCallback = &User::OnUserRecord;
    query.user = this;
    if (ZVNetQueryParam(session.m_handle, &query) == 0 || m_userRecords.empty())
        return false;
    ZVNetUserParam& first = m_userRecords.front();
    if (LongUserFields(session)) {
        PutField(first.longPassword, password);
        PutField(first.longUserName, session.m_user);
    } else {
        std::memset(first.shortPassword, 0, 16);
        PutField(first.shortPassword, password);
        PutField(first.shortUserName, session.m_user);
    }
    first.changeFlag = 1;
    ZVNetSetParamReq set;
    std::memset(&set, 0, sizeof(set));
    set.paramId = ZVNET_PARAM_USERS;
    set.records = m_userRecords.data();
    set.recordCount = static_cast<uint32_t>(m_userRecords.size());
    if (ZVNetSetParam(session.m_handle, &set) == 0)
        return false;
    session.Logout();
    m_newPassword = password;
    return true;
}

bool User::ApplyThroughHttp(ZVDevice& session, const QString& password)
{
    SessionHttp http(session);
    TransKeys keys;
    Json::Value authentication;
    Json::Value encrypted;
    if (!http.RequestKeys(TransKeyForm::SaltAndDeviceKey, keys)
        || !MakeSecondaryAuthentication(session.m_password.toLatin1().toStdString(), keys.salt, authentication)
        || !MakeEncryptedPassword(password.toLatin1().toStdString(), keys.deviceKey, encrypted))
        return false;
    Json::Value admin(Json::objectValue);
    admin["user_enable"] = true;
    admin["username"] = session.m_user.toStdString(); // JSON text is UTF-8
    admin["password_empty"] = password.isEmpty();
    admin["login_num"] = 3;
    admin["base_enc_password"] = encrypted;
    Json::Value body(Json::objectValue);
    body["version"] = "1.0";
    body["data"]["user_info"]["ADMIN"] = admin;
    body["data"]["type"] = "SavePassword";
    body["data"]["base_secondary_authentication"] = authentication;
    Json::Value reply;
    if (!http.PostForReply("/API/SystemConfig/User/Set" + Json::FastWriter().write(body), reply))
        return false;
    session.Logout();
    if (!SessionHttp::Succeeded(reply))
        return false;
    m_newPassword = password;
    return true;
}
