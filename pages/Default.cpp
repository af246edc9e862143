#include "Default.h"

#include "LanguageTexts.h"
#include "SessionHttp.h"
#include "ZVAppSetting.h"
#include "ZVDevice.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstring>

namespace
{
const char* const kGroupKeys[Default::GroupCount]
    = { "channel", "record", "event", "ai", "network", "except_network_param", "device", "system", "alarm" };

void Hide(QAbstractButton* box)
{
    box->setChecked(false);
    box->hide();
}

// A JSON text that keeps its members in the order written, without white space.
class OrderedWriter
{
public:
    void Key(const char* key)
    {
        Separate();
        m_text += Json::valueToQuotedString(key);
        m_text += ':';
        m_first = true;
    }
    void Open()
    {
        m_text += '{';
        m_first = true;
    }
    void Close()
    {
        m_text += '}';
        m_first = false;
    }
    void Value(const Json::Value& value)
    {
        m_text += Json::FastWriter().write(value);
        m_text.pop_back(); // FastWriter's newline
        m_first = false;
    }
    const std::string& Text() const { return m_text; }

private:
    void Separate()
    {
        if (!m_first)
            m_text += ',';
    }
    std::string m_text;
    bool m_first = true;
};
} // namespace

Default::Default(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Default"));
    resize(400, 300);
    auto* outer = new QHBoxLayout(this);
    outer->setObjectName(QStringLiteral("horizontalLayout_2"));
    auto* column = new QVBoxLayout;
    column->setObjectName(QStringLiteral("verticalLayout"));
    auto box = [this](const char* name) {
        auto* check = new QCheckBox(this);
        check->setObjectName(QString::fromLatin1(name));
        return check;
    };
    m_pChkDisplay = box("m_pChkDisplay");
    m_pChkRecord = box("m_pChkRecord");
    m_pChkAdvanced = box("m_pChkAdvanced");
    m_pChkIntel = box("m_pChkIntel");
    m_pChkAlarm = box("m_pChkAlarm");
    m_pChkNetWork = box("m_pChkNetWork");
    m_pChkNetWork_2 = new QRadioButton(this);
    m_pChkNetWork_2->setObjectName(QStringLiteral("m_pChkNetWork_2"));
    m_pChkNetWork_3 = new QRadioButton(this);
    m_pChkNetWork_3->setObjectName(QStringLiteral("m_pChkNetWork_3"));
    m_pChkDevice = box("m_pChkDevice");
    m_pChkSystem = box("m_pChkSystem");
    m_pChkAll = box("m_pChkAll");
    for (QWidget* w : { m_pChkDisplay, m_pChkRecord, m_pChkAdvanced, m_pChkIntel, m_pChkAlarm })
        column->addWidget(w);
    auto* network = new QHBoxLayout;
    network->setObjectName(QStringLiteral("horizontalLayout"));
    network->addWidget(m_pChkNetWork);
    network->addWidget(m_pChkNetWork_2);
    network->addWidget(m_pChkNetWork_3);
    column->addLayout(network);
    for (QWidget* w : { m_pChkDevice, m_pChkSystem, m_pChkAll })
        column->addWidget(w);
    column->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    outer->addLayout(column);
    outer->addItem(new QSpacerItem(144, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    // The form's connection by name.
    connect(m_pChkNetWork, &QCheckBox::clicked, this, &Default::on_m_pChkNetWork_clicked);

    Retranslate();
    ZVAppSetting::Instance()->AddLanguageListener(this);
    m_pChkNetWork_2->hide();
    m_pChkNetWork_3->hide();
    m_pChkNetWork_2->setChecked(true);
    connect(m_pChkAll, &QCheckBox::clicked, this, &Default::OnCherck);
}

Default::~Default()
{
    ZVAppSetting::Instance()->RemoveLanguageListener(this);
}

void Default::SetGroupTexts(bool ownKind)
{
    m_pChkDisplay->setText(LanguageText(ownKind ? 34 : 69));
    m_pChkRecord->setText(LanguageText(71));
    m_pChkAdvanced->setText(LanguageText(ownKind ? 194 : 66));
    m_pChkIntel->setText(LanguageText(ownKind ? 195 : 85));
    m_pChkAlarm->setText(LanguageText(67));
    m_pChkNetWork->setText(LanguageText(70));
    m_pChkNetWork_2->setText(LanguageText(86));
    m_pChkNetWork_3->setText(LanguageText(87));
    m_pChkDevice->setText(LanguageText(68));
    m_pChkSystem->setText(LanguageText(72));
}

void Default::Retranslate()
{
    const int company = Company();
    SetGroupTexts(company == 43 || company == 44 || company == 45);
    if (company == 34) {
        m_pChkAll->setText(LanguageText(219));
    } else {
        m_pChkAll->hide();
    }
}

void Default::customEvent(QEvent* event)
{
    if (event->type() == LanguageChangedEvent::EventType)
        Retranslate();
}

void Default::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
}

bool Default::OwnKind() const
{
    const char kind = static_cast<char>(m_pDevice->m_devInfo[offsetof(ZVNetDevInfo, deviceKind)]);
    return kind == '2' || kind == '4';
}

bool Default::SupportsNetworkChoice() const
{
    if (UsesHttpApi()) {
        int32_t type;
        std::memcpy(&type, m_pDevice->m_devInfo, sizeof(type));
        return type == 4;
    }
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | m_pDevice->m_devInfo[i];
    return ((bits >> ZVNET_DEVINFO_NETWORK_SHIFT) & ZVNET_DEVINFO_NETWORK_MASK) == ZVNET_DEVINFO_NETWORK_CHOICE;
}

int Default::CheckInput() const
{
    bool chosen = Company() == 34 && m_pChkAll->isChecked();
    for (QCheckBox* box : { m_pChkAdvanced, m_pChkAlarm, m_pChkDevice, m_pChkDisplay, m_pChkNetWork, m_pChkRecord,
             m_pChkSystem, m_pChkIntel })
        chosen = chosen || box->isChecked();
    if (!chosen)
        return 82;
    // Only the groups the device offers are sent: a choice of none of them
    // would restore nothing.
    if (UsesHttpApi()) {
        bool values[GroupCount];
        GroupValues(values);
        bool offered = false;
        for (int group = 0; group < GroupCount; ++group)
            offered = offered || (m_offered[group] && values[group]);
        if (!offered)
            return 82;
    }
    return 79;
}

void Default::GroupValues(bool values[GroupCount]) const
{
    const bool network = m_pChkNetWork->isChecked();
    values[Channel] = m_pChkDisplay->isChecked();
    values[Record] = m_pChkRecord->isChecked();
    values[Event] = m_pChkAdvanced->isChecked();
    values[Ai] = m_pChkIntel->isChecked();
    values[Network] = network;
    values[ExceptNetworkParam] = network && m_pChkNetWork_2->isChecked();
    values[Device] = m_pChkDevice->isChecked();
    values[System] = m_pChkSystem->isChecked();
    values[Alarm] = m_pChkAlarm->isChecked();
}

void Default::UpdateGroupBoxes()
{
    if (!m_pDevice)
        return;
    const int company = Company();
    const bool ownKind = OwnKind();
    SetGroupTexts(ownKind);

    if (company == 38 || company == 45 || !ownKind || company == 12)
        m_pChkAdvanced->show();
    else
        Hide(m_pChkAdvanced);

    uint32_t capability;
    std::memcpy(&capability, m_pDevice->m_devInfo + offsetof(ZVNetDevInfo, capabilityWord), sizeof(capability));
    if (company == 38 || (company != 45 && !ownKind && (capability & ZVNET_DEVINFO_INTELLIGENT)))
        m_pChkIntel->show();
    else
        Hide(m_pChkIntel);

    Hide(m_pChkAlarm);

    const bool radios = m_pChkNetWork->isChecked() && SupportsNetworkChoice();
    if (IsHttpApiCompany(company)) {
        m_pChkNetWork_2->setVisible(radios);
        m_pChkNetWork_3->setVisible(radios);
    } else if (!m_pChkNetWork->isChecked()) {
        Hide(m_pChkNetWork_2);
        Hide(m_pChkNetWork_3);
    } else {
        m_pChkNetWork_2->setVisible(radios);
        m_pChkNetWork_3->setVisible(radios);
    }

    if (!IsHttpApiCompany(company))
        return;
    const bool offeredRadios = m_offered[Network] && m_pChkNetWork->isChecked();
    m_pChkNetWork_2->setVisible(offeredRadios);
    m_pChkNetWork_3->setVisible(offeredRadios);
    const std::pair<QCheckBox*, Group> offers[]
        = { { m_pChkAdvanced, Event }, { m_pChkIntel, Ai }, { m_pChkRecord, Record }, { m_pChkDisplay, Channel },
              { m_pChkDevice, Device }, { m_pChkSystem, System }, { m_pChkAlarm, Alarm } };
    for (const auto& offer : offers) {
        if (m_offered[offer.second])
            offer.first->show();
        else
            Hide(offer.first);
    }
}

void Default::on_m_pChkNetWork_clicked(bool checked)
{
    if (!m_pDevice || !SupportsNetworkChoice())
        return;
    m_pChkNetWork_2->setVisible(checked);
    m_pChkNetWork_3->setVisible(checked);
}

void Default::OnCherck()
{
    const bool all = m_pChkAll->isChecked();
    for (QCheckBox* box : { m_pChkDisplay, m_pChkRecord, m_pChkAdvanced, m_pChkIntel, m_pChkNetWork, m_pChkDevice,
             m_pChkSystem, m_pChkAlarm })
        box->setChecked(all);
    if (all) {
        m_pChkNetWork_3->setChecked(true);
    } else {
        m_pChkNetWork_2->setChecked(false);
        m_pChkNetWork_3->setChecked(false);
    }
}

bool Default::QueryResetRange()
{
    SessionHttp http(*m_pDevice);
    Json::Value reply;
    if (!http.PostForReply("/API/Maintenance/Reset/Range", reply))
        return false;
    const Json::Value* data = reply.isObject() ? reply.find("data", "data" + 4) : nullptr;
    for (int group = 0; group < GroupCount; ++group) {
        const char* key = kGroupKeys[group];
        const Json::Value* member = data && data->isObject() ? data->find(key, key + std::strlen(key)) : nullptr;
        m_offered[group] = member && !member->isNull();
    }
    return true;
}

bool Default::ApplyDefault()
{
    return UsesHttpApi() ? ApplyThroughHttp() : ApplyThroughSdk();
}

bool Default::ApplyThroughSdk()
{
    ZVNetDefaultParam block;
    std::memset(&block, 0, sizeof(block));
    block.size = sizeof(block);
    block.display = m_pChkDisplay->isChecked();
    block.record = m_pChkRecord->isChecked();
    block.advanced = m_pChkAdvanced->isChecked();
    block.intelligent = m_pChkIntel->isChecked();
    block.device = m_pChkDevice->isChecked();
    block.system = m_pChkSystem->isChecked();
    block.alarm = OwnKind() && m_pChkAdvanced->isChecked() ? 1 : m_pChkAlarm->isChecked();
    if (!m_pChkNetWork_2->isHidden()) {
        block.network = m_pChkNetWork_2->isChecked() ? ZVNET_DEFAULT_NETWORK_EXCEPT_ADDRESS
            : m_pChkNetWork_3->isChecked()           ? ZVNET_DEFAULT_NETWORK_ALL
                                                     : ZVNET_DEFAULT_NETWORK_KEEP;
    } else {
        block.network = m_pChkNetWork->isChecked() ? ZVNET_DEFAULT_NETWORK_ALL : ZVNET_DEFAULT_NETWORK_KEEP;
    }
    ZVNetSetParamReq request;
    std::memset(&request, 0, sizeof(request));
    request.paramId = ZVNET_PARAM_DEFAULT;
    request.block = &block;
    return ZVNetSetParam(m_pDevice->m_handle, &request) != 0;
}

bool Default::ApplyThroughHttp()
{
    SessionHttp http(*m_pDevice);
    TransKeys keys;
    Json::Value authentication;
    if (!http.SecondaryAuthentication(authentication, keys))
        return false;
    bool values[GroupCount];
    GroupValues(values);
    // Not alphabetical: the device reads the groups in this order.
    const Group order[] = { Channel, Record, Event, Alarm, Ai, Network, ExceptNetworkParam, Device, System };
    OrderedWriter body;
    body.Open();
    body.Key("version");
    body.Value("1.0");
    body.Key("data");
    body.Open();
    body.Key("base_secondary_authentication");
    body.Open();
    body.Key("cipher");
    body.Value(authentication["cipher"]);
    body.Key("seq");
    body.Value(keys.salt.seq);
    body.Close();
    for (Group group : order) {
        if (!m_offered[group])
            continue;
        body.Key(kGroupKeys[group]);
        body.Value(values[group]);
    }
    body.Close();
    body.Close();
    Json::Value reply;
    return http.PostForReply("/API/Maintenance/Reset/Set" + body.Text(), reply) && SessionHttp::Succeeded(reply);
}
