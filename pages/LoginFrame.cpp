#include "LoginFrame.h"

#include "DeviceConfig.h"
#include "DeviceEvents.h"
#include "DeviceInfo.h"
#include "FixedText.h"
#include "LanguageTexts.h"
#include "User.h"
#include "ZVAppSetting.h"
#include "ZVMessageBox.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <mutex>

namespace
{
constexpr int kLockMs = 30000;
const QByteArray kFlagKey = QByteArrayLiteral("FirstLoginFlag");

std::atomic<bool> s_firstLoginPending { false };

LoginFrame::FirstPasswordPrompt& Prompt()
{
    static LoginFrame::FirstPasswordPrompt prompt;
    return prompt;
}

bool Probes(int company)
{
    switch (company) {
    case 0:
    case 30:
    case 37:
    case 38:
    case 39:
    case 40:
    case 45: return true;
    default: return false;
    }
}

// The records of one first-password save: the SDK may read them until its
// callback, which may come after the page is gone. The callback's user value
// is the page's number here, so a late callback reaches no freed page.
struct Save
{
    ZVNetSavePasswordExtra extra {};
    ZVNetSavePasswordParam param {};
    QByteArray ip;
};

struct Saves
{
    std::mutex mutex;
    std::map<uintptr_t, LoginFrame*> pages;
    std::map<uintptr_t, std::list<std::unique_ptr<Save>>> pending; // by page number, oldest first
    uintptr_t next = 1;
};

Saves& SaveRegistry()
{
    static Saves* saves = new Saves;
    return *saves;
}
} // namespace

LoginFrame::LoginFrame(QWidget* parent)
    : LoginPage(parent)
{
    setObjectName(QStringLiteral("LoginFrame"));
    resize(796, 516);
    auto* layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout"));
    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    auto* row = new QHBoxLayout;
    row->setObjectName(QStringLiteral("horizontalLayout"));
    auto label = [this, row](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row->addWidget(l);
        return l;
    };
    auto edit = [this, row](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setFixedSize(100, 25);
        row->addWidget(e);
        return e;
    };
    m_pLabIP = label("m_pLabIP");
    m_pEdtIP = edit("m_pEdtIP");
    m_pLabPort = label("m_pLabPort");
    m_pEdtPort = edit("m_pEdtPort");
    m_pLabUser = label("m_pLabUser");
    m_pEdtUsr = edit("m_pEdtUsr");
    m_pLabPwd = label("m_pLabPwd");
    m_pEdtPwd = edit("m_pEdtPwd");
    m_pEdtPwd->setEchoMode(QLineEdit::Password);
    row->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_pBtnLogin = new QPushButton(this);
    m_pBtnLogin->setObjectName(QStringLiteral("m_pBtnLogin"));
    m_pBtnLogin->setMinimumSize(80, 25);
    row->addWidget(m_pBtnLogin);
    layout->addLayout(row);
    auto* line2 = new QFrame(this);
    line2->setObjectName(QStringLiteral("line_2"));
    line2->setFrameShape(QFrame::HLine);
    line2->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line2);
    m_pConfig = new DeviceConfig(this);
    m_pConfig->setObjectName(QStringLiteral("widget"));
    layout->addWidget(m_pConfig, 1);
    // The form's connection by name.
    connect(m_pBtnLogin, &QPushButton::clicked, this, &LoginFrame::on_m_pBtnLogin_clicked);

    Retranslate();
    ZVAppSetting::Instance()->AddLanguageListener(this);
    m_pLockTimer = new QTimer(this);
    m_pLockTimer->setSingleShot(true);

    connect(m_pConfig, &DeviceConfig::SendNewPwd, this, &LoginFrame::ReceiveNewPwd);
    connect(this, &LoginFrame::IsLoginFrame, this, &LoginFrame::FirstLoginDevice);
    connect(m_pBtnLogin, &QPushButton::clicked, this, &LoginFrame::FirstLoginDevice);
    connect(m_pBtnLogin, &QPushButton::clicked, this, &LoginFrame::ClearUserPassword);
    connect(m_pConfig, &DeviceConfig::ForceCloseDevice, this, &LoginFrame::StartTimer);
    connect(m_pLockTimer, &QTimer::timeout, this, &LoginFrame::StopTimer);

    m_device.SetEmptyInputNotice(
        [this] { ZVMessageBox::ShowMessage(this, QStringLiteral("Empty input"), LanguageText(110), 0, 2); });
    Saves& saves = SaveRegistry();
    std::lock_guard<std::mutex> lock(saves.mutex);
    m_saveId = saves.next++;
    saves.pages[m_saveId] = this;
}

LoginFrame::~LoginFrame()
{
    ZVAppSetting::Instance()->RemoveLanguageListener(this);
    Saves& saves = SaveRegistry();
    std::lock_guard<std::mutex> lock(saves.mutex);
    saves.pages.erase(m_saveId);
}

void LoginFrame::Retranslate()
{
    const int company = Company();
    m_pLabIP->setText(LanguageText(32));
    m_pLabPort->setText(LanguageText(IsHttpApiCompany(company) ? 42 : 33));
    m_pLabUser->setText(LanguageText(12));
    m_pLabPwd->setText(LanguageText(13));
    m_pBtnLogin->setText(LanguageText(84));
    if (company == 40) {
        m_pLabUser->setText(QStringLiteral("User Name"));
        for (QWidget* w : std::initializer_list<QWidget*> { m_pLabIP, m_pLabPort, m_pLabUser, m_pLabPwd, m_pBtnLogin })
            w->setStyleSheet(QStringLiteral("QLabel{ font: bold;}"));
    }
    if (company == 31) {
        m_pLabPort->hide();
        m_pEdtPort->hide();
    }
}

LoginFrame::FirstPasswordPrompt LoginFrame::SetFirstPasswordPrompt(FirstPasswordPrompt prompt)
{
    FirstPasswordPrompt old = std::move(Prompt());
    Prompt() = std::move(prompt);
    return old;
}

void LoginFrame::SetNetworkAccess(QNetworkAccessManager* access)
{
    if (m_pNetworkAccess)
        disconnect(m_pNetworkAccess, &QNetworkAccessManager::finished, this, &LoginFrame::reply_cgi);
    // The old access's answers no longer come here.
    m_probes.clear();
    m_pNetworkAccess = access;
    if (m_pNetworkAccess)
        connect(m_pNetworkAccess, &QNetworkAccessManager::finished, this, &LoginFrame::reply_cgi);
}

bool LoginFrame::FirstLoginPending()
{
    return s_firstLoginPending;
}

void LoginFrame::SetFirstLoginPending(bool pending)
{
    s_firstLoginPending = pending;
}

void LoginFrame::SetDeviceAddress(DeviceInfo* device)
{
    if (!device)
        return;
    const QString ip = device->Ip();
    m_pEdtIP->setText(ip);
    const bool http = UsesHttpApi();
    m_pEdtPort->setText(QString::number(http ? device->m_searchRsp.webPort : device->m_searchRsp.mediaPort));
    if (!m_lastIp.isEmpty() && m_lastIp != ip) {
        m_device.Logout();
        m_pConfig->Disable();
    }
    m_lastIp = ip;
}

void LoginFrame::SetUserPassword(const QString& user, const QString& password)
{
    m_pEdtUsr->setText(user);
    m_pEdtPwd->setText(password);
}

void LoginFrame::on_m_pBtnLogin_clicked()
{
    m_device.m_owner = this;
    m_pConfig->SetDevice(&m_device);
    m_pUserPage = m_pConfig->m_pUser;
    if (Probes(Company()) && s_firstLoginPending)
        return;
    m_device.Login(m_pEdtIP->text(), m_pEdtPort->text().toInt(), m_pEdtUsr->text(), m_pEdtPwd->text());
}

void LoginFrame::ReceiveNewPwd(QString password)
{
    m_pEdtPwd->setText(password);
    on_m_pBtnLogin_clicked();
}

void LoginFrame::ClearUserPassword()
{
    if (m_pUserPage)
        m_pUserPage->ClearPasswords();
}

void LoginFrame::StartTimer()
{
    m_pBtnLogin->setEnabled(false);
    m_pLockTimer->start(kLockMs);
}

void LoginFrame::StopTimer()
{
    m_pLockTimer->stop();
    m_pBtnLogin->setEnabled(true);
    m_pConfig->ClearInfo();
}

void LoginFrame::FirstLoginDevice()
{
    if (m_pEdtIP->text().isEmpty() || m_pEdtPort->text().isEmpty())
        return;
    if (!Probes(Company()))
        return;
    // Made at the first probe: a network access manager starts threads of its
    // own, which the customer codes that never probe do not need.
    if (!m_pNetworkAccess) {
        if (!m_pNetwork)
            m_pNetwork = new QNetworkAccessManager(this);
        SetNetworkAccess(m_pNetwork);
    }
    const Probe probe { m_pEdtIP->text(), m_pEdtPort->text() };
    QNetworkRequest request(QUrl(QStringLiteral("http://") + probe.ip + QStringLiteral("/new-cgi-bin/mediaport.cgi")));
    // A device that never answers must not leave a probe that could still
    // ask for a password long after the user moved on.
    request.setTransferTimeout(kProbeTimeoutMs);
    m_probes.insert(m_pNetworkAccess->get(request), probe);
}

int LoginFrame::FirstLoginFlag(const QByteArray& body)
{
    const QString text = QString::fromUtf8(body);
    const int p = text.indexOf(QString::fromLatin1(kFlagKey));
    // Only a digit inside the body, right after the key and one separator, counts.
    if (p < 0 || p + 15 >= text.size())
        return 0;
    const QChar c = text.at(p + 15);
    return c >= QLatin1Char('0') && c <= QLatin1Char('9') ? c.digitValue() : 0;
}

void LoginFrame::reply_cgi(QNetworkReply* reply)
{
    if (!reply)
        return;
    reply->deleteLater();
    const auto asked = m_probes.find(reply);
    if (asked == m_probes.end())
        return;
    const Probe probe = asked.value();
    m_probes.erase(asked);
    // The answer of a device the user has moved on from says nothing about
    // the one in the edit now.
    if (probe.ip != m_pEdtIP->text())
        return;
    // A probe that failed on the way has no flag to read.
    const int flag = reply->error() == QNetworkReply::NoError ? FirstLoginFlag(reply->readAll()) : 0;
    if (flag == 0) {
        s_firstLoginPending = false;
        return;
    }
    s_firstLoginPending = true;
    const QString password = Prompt() ? Prompt()(this) : QString();
    if (!password.isEmpty())
        SaveFirstPassword(password, probe);
}

void LoginFrame::SaveFirstPassword(const QString& password, const Probe& probe)
{
    auto save = std::make_unique<Save>();
    save->ip = probe.ip.toUtf8();
    save->extra.size = sizeof(ZVNetSavePasswordExtra);
    PutText(password, TextCode::Utf8, save->extra.password, FieldEnd::Terminated);
    save->param.ip = save->ip.constData();
    save->param.port = probe.port.toUInt();
    save->param.user = reinterpret_cast<void*>(m_saveId);
    save->param.callback = &LoginFrame::OnSavePasswordStatus;
    save->param.extra = &save->extra;
    save->param.extraSize = sizeof(ZVNetSavePasswordExtra);
    const ZVNetSavePasswordParam* param = &save->param;
    {
        Saves& saves = SaveRegistry();
        std::lock_guard<std::mutex> lock(saves.mutex);
        saves.pending[m_saveId].push_back(std::move(save));
    }
    m_savePasswordHandle = ZVNetStartSavePasword(param);
    if (m_savePasswordHandle != 0) {
        s_firstLoginPending = false;
        m_pEdtPwd->setText(password);
        m_device.m_state = ZVDevice::StatePasswordSaved;
    }
}

void LoginFrame::OnSavePasswordStatus(int status, void* user)
{
    const auto id = reinterpret_cast<uintptr_t>(user);
    Saves& saves = SaveRegistry();
    std::lock_guard<std::mutex> lock(saves.mutex);
    // The save's one report: its records may go once it has been read.
    auto pending = saves.pending.find(id);
    std::unique_ptr<Save> done;
    if (pending != saves.pending.end() && !pending->second.empty()) {
        done = std::move(pending->second.front());
        pending->second.pop_front();
        if (pending->second.empty())
            saves.pending.erase(pending);
    }
    if (status == 2)
        s_firstLoginPending = true;
    const bool forwarded = status == 2 || status == 101 || (status >= 103 && status <= 109) || status == 125;
    auto page = saves.pages.find(id);
    if (forwarded && page != saves.pages.end())
        PostDeviceEvent(page->second, new QConnectEvent(status));
}

void LoginFrame::customEvent(QEvent* event)
{
    if (event->type() == static_cast<QEvent::Type>(ConnectEvent)) {
        TakePostedEvent(this);
        m_pConfig->ShowConnectStatus();
    } else if (event->type() == LanguageChangedEvent::EventType) {
        Retranslate();
    }
}

void LoginFrame::showEvent(QShowEvent* event)
{
    const bool same = m_pEdtIP->text() == m_device.m_ip && m_pEdtPort->text().toInt() == m_device.m_port
        && m_pEdtUsr->text() == m_device.m_user && m_pEdtPwd->text() == m_device.m_password;
    if (!same)
        m_pConfig->ResetInfo();
    LoginPage::showEvent(event);
}
