#include "Reboot.h"

#include "LanguageTexts.h"
#include "SessionHttp.h"
#include "ZVAppSetting.h"
#include "ZVDevice.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

namespace
{
void RemoteTestCallback(int, int, const void*, void*)
{
}
} // namespace

Reboot::Reboot(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Reboot"));
    resize(400, 300);
    auto* layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout"));
    layout->setContentsMargins(20, 20, 0, 0);
    auto* row = new QHBoxLayout;
    row->setObjectName(QStringLiteral("horizontalLayout"));
    m_pBtnReboot = new QPushButton(this);
    m_pBtnReboot->setObjectName(QStringLiteral("m_pBtnReboot"));
    m_pBtnReboot->setMinimumSize(100, 25);
    row->addWidget(m_pBtnReboot);
    row->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    layout->addLayout(row);
    layout->addItem(new QSpacerItem(20, 235, QSizePolicy::Minimum, QSizePolicy::Expanding));
    ZVAppSetting::Instance()->AddLanguageListener(this);
    m_pBtnReboot->setText(LanguageText(61));
    connect(m_pBtnReboot, &QPushButton::clicked, this, &Reboot::OnClickReboot);
}

Reboot::~Reboot()
{
    ZVAppSetting::Instance()->RemoveLanguageListener(this);
}

void Reboot::OnClickReboot()
{
    emit onReboot();
}

void Reboot::customEvent(QEvent* event)
{
    if (event->type() == LanguageChangedEvent::EventType)
        m_pBtnReboot->setText(LanguageText(61));
}

bool Reboot::ApplyReboot()
{
    ZVDevice& session = *m_pDevice;
    if (!UsesHttpApi()) {
        ZVNetRemoteTestParam param;
        std::memset(&param, 0, sizeof(param));
        param.command = ZVNET_REMOTE_TEST_REBOOT;
        param.user = this;
        param.callback = &RemoteTestCallback;
        return ZVNetRemoteTest(session.m_handle, &param) != 0;
    }
    SessionHttp http(session);
    Json::Value authentication;
    TransKeys keys;
    if (!http.SecondaryAuthentication(authentication, keys))
        return false;
    Json::Value body(Json::objectValue);
    body["version"] = "1.0";
    body["data"]["base_secondary_authentication"] = authentication;
    Json::Value reply;
    return http.PostForReply("/API/Maintenance/DeviceReboot/Set" + Json::FastWriter().write(body), reply)
        && SessionHttp::Succeeded(reply);
}
