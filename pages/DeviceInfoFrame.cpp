#include "DeviceInfoFrame.h"

#include "BatchAddresses.h"
#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "DeviceTasks.h"
#include "FixedText.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "PageEvents.h"
#include "ToolBarFrame.h"
#include "ZVAppSetting.h"

#include <QCheckBox>
#include <QDebug>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMutexLocker>
#include <QPushButton>
#include <QScrollArea>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <cstring>

namespace
{
const char* const kDialogFrameStyle = "border:1px solid rgb(134, 134, 134);";

QFrame* NewLine(QWidget* parent, const char* name, QFrame::Shape shape)
{
    auto* line = new QFrame(parent);
    line->setObjectName(QLatin1String(name));
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// Copies the UTF-8 bytes of text into field, at most width - 1 of them and
// never ending inside a character; the rest of the field stays zero.
void PutUtf8(const QString& text, char* field, int width)
{
    const QByteArray bytes = text.toUtf8();
    const int length = Utf8PrefixLength(bytes, width - 1);
    std::memcpy(field, bytes.constData(), static_cast<size_t>(length));
}

bool IsHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

bool KeyIdValid(const QString& text)
{
    if (!text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return false;
    for (int i = 2; i < text.size(); ++i) {
        if (!IsHexDigit(text.at(i)))
            return false;
    }
    return true;
}

bool MainBoardNameValid(const QString& text)
{
    const bool prefix = Company() == 8
        ? text.startsWith(QLatin1String("QOR-DM-")) || text.startsWith(QLatin1String("QOR-CM-"))
        : text.startsWith(QLatin1String("ZV-DM-")) || text.startsWith(QLatin1String("ZV-CM-"));
    if (!prefix)
        return false;
    const QChar last = text.at(text.size() - 1);
    return last >= QLatin1Char('A') && last <= QLatin1Char('Z');
}
} // namespace

DeviceInfoFrame::DeviceInfoFrame(QWidget* parent)
    : OperationPage(
        parent, PageEvents::DeviceInfoWorkFinishedEvent, TableKindDeviceInfo, &DeviceInfo::m_pDeviceInfoFrame, false)
{
    std::memset(&m_factoryInfo, 0, sizeof(m_factoryInfo));
    BuildForm();
    PrefillLogin(m_pEditUser, m_pEditPassword, 0);
    PrefillLogin(m_pEditUser_2, m_pEditPassword_2, 0);
    SetupTable(m_pDeviceTableView);
    m_pDeviceTableView->setColumnWidth(0, 80);
    m_pDeviceTableView->setColumnWidth(2, 135);
    m_pDeviceTableView->setColumnWidth(4, 120);
    for (QCheckBox* box : { m_pCheckKeyID, m_pCheckBoardID, m_pCheckMainBoardName, m_pCheckProductType,
             m_pCheckDeviceType, m_pCheckDeviceName, m_pCheckFunctionCode, m_pCheckCustomType })
        box->setChecked(true);
    m_pStackWidget->setCurrentIndex(Company() == 22 ? 1 : 0);
    // The button slots are bound by name.
    QMetaObject::connectSlotsByName(this);
    RetranslateTexts();
}

void DeviceInfoFrame::BuildForm()
{
    setObjectName(QStringLiteral("DeviceInfoFrame"));
    resize(834, 584);
    horizontalLayout_5 = new QHBoxLayout(this);
    horizontalLayout_5->setObjectName(QStringLiteral("horizontalLayout_5"));
    horizontalLayout_5->setContentsMargins(0, 0, 0, 0);
    m_pDeviceTableView = new CheckBoxTableView(this);
    m_pDeviceTableView->setObjectName(QStringLiteral("m_pDeviceTableView"));
    horizontalLayout_5->addWidget(m_pDeviceTableView, 1);
    line = NewLine(this, "line", QFrame::VLine);
    horizontalLayout_5->addWidget(line);
    m_pStackWidget = new QStackedWidget(this);
    m_pStackWidget->setObjectName(QStringLiteral("m_pStackWidget"));
    m_pStackWidget->setMinimumWidth(300);
    m_pStackWidget->setMaximumWidth(360);
    horizontalLayout_5->addWidget(m_pStackWidget);

    auto button = [](QWidget* parent, QVBoxLayout* layout, const char* name) {
        auto* widget = new QPushButton(parent);
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumHeight(25);
        layout->addWidget(widget);
        return widget;
    };
    auto label = [](QWidget* parent, const char* name) {
        auto* widget = new QLabel(parent);
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumHeight(25);
        return widget;
    };
    auto edit = [](QWidget* parent, const char* name) {
        auto* widget = new LineEdit(parent);
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumHeight(25);
        return widget;
    };

    Page1 = new QWidget(m_pStackWidget);
    Page1->setObjectName(QStringLiteral("Page1"));
    verticalLayout = new QVBoxLayout(Page1);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    // Fourteen rows and four buttons fit the window's minimum height only
    // with tight spacing; the default one squeezes the rows over each other.
    verticalLayout->setSpacing(2);
    m_pBtnSearch = button(Page1, verticalLayout, "m_pBtnSearch");
    verticalLayout->addWidget(NewLine(Page1, "line_2", QFrame::HLine));
    gridLayout_2 = new QGridLayout;
    gridLayout_2->setObjectName(QStringLiteral("gridLayout_2"));
    gridLayout_2->setVerticalSpacing(1);
    auto row = [&](QLabel** rowLabel, LineEdit** rowEdit, const char* labelName, const char* editName) {
        const int at = gridLayout_2->rowCount();
        *rowLabel = label(Page1, labelName);
        *rowEdit = edit(Page1, editName);
        gridLayout_2->addWidget(*rowLabel, at, 0);
        gridLayout_2->addWidget(*rowEdit, at, 1);
    };
    row(&m_pLabelUser, &m_pEditUser, "m_pLabelUser", "m_pEditUser");
    row(&m_pLabelPassword, &m_pEditPassword, "m_pLabelPassword", "m_pEditPassword");
    row(&m_pLabelStartIP, &m_pEditStartIP, "m_pLabelStartIP", "m_pEditStartIP");
    row(&m_pLabelMediaPort, &m_pEditMediaPort, "m_pLabelMediaPort", "m_pEditMediaPort");
    row(&m_pLabelGateway, &m_pEditGateway, "m_pLabelGateway", "m_pEditGateway");
    row(&m_pLabelNetmask, &m_pEditNetmask, "m_pLabelNetmask", "m_pEditNetmask");
    verticalLayout->addLayout(gridLayout_2);
    m_pBtnModify = button(Page1, verticalLayout, "m_pBtnModify");
    verticalLayout->addWidget(NewLine(Page1, "line_3", QFrame::HLine));

    gridLayout = new QGridLayout;
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    gridLayout->setVerticalSpacing(1);
    auto factory = [&](QCheckBox** box, QLabel** fieldLabel, LineEdit** fieldEdit, const char* boxName,
                       const char* labelName, const char* editName) {
        const int at = gridLayout->rowCount();
        *box = new QCheckBox(Page1);
        (*box)->setObjectName(QLatin1String(boxName));
        *fieldLabel = label(Page1, labelName);
        *fieldEdit = edit(Page1, editName);
        gridLayout->addWidget(*box, at, 0);
        gridLayout->addWidget(*fieldLabel, at, 1);
        gridLayout->addWidget(*fieldEdit, at, 2);
    };
    factory(&m_pCheckKeyID, &m_pLabelKeyID, &m_pEditKeyID, "m_pCheckKeyID", "m_pLabelKeyID", "m_pEditKeyID");
    factory(
        &m_pCheckBoardID, &m_pLabelBoardID, &m_pEditBoardID, "m_pCheckBoardID", "m_pLabelBoardID", "m_pEditBoardID");
    factory(&m_pCheckMainBoardName, &m_pLabelMainBoardName, &m_pEditMainBoardName, "m_pCheckMainBoardName",
        "m_pLabelMainBoardName", "m_pEditMainBoardName");
    factory(&m_pCheckProductType, &m_pLabelProductType, &m_pEditProductType, "m_pCheckProductType",
        "m_pLabelProductType", "m_pEditProductType");
    factory(&m_pCheckDeviceType, &m_pLabelDeviceType, &m_pEditDeviceType, "m_pCheckDeviceType", "m_pLabelDeviceType",
        "m_pEditDeviceType");
    factory(&m_pCheckDeviceName, &m_pLabelDeviceName, &m_pEditDeviceName, "m_pCheckDeviceName", "m_pLabelDeviceName",
        "m_pEditDeviceName");
    factory(&m_pCheckFunctionCode, &m_pLabelFunctionCode, &m_pEditFunctionCode, "m_pCheckFunctionCode",
        "m_pLabelFunctionCode", "m_pEditFunctionCode");
    factory(&m_pCheckCustomType, &m_pLabelCustomType, &m_pEditCustomType, "m_pCheckCustomType", "m_pLabelCustomType",
        "m_pEditCustomType");
    verticalLayout->addLayout(gridLayout);
    m_pBtnSet = button(Page1, verticalLayout, "m_pBtnSet");
    verticalLayout->addWidget(NewLine(Page1, "line_4", QFrame::HLine));
    m_pBtnDefault = button(Page1, verticalLayout, "m_pBtnDefault");
    verticalLayout->addWidget(NewLine(Page1, "line_5", QFrame::HLine));
    m_pBtnPTZDefault = button(Page1, verticalLayout, "m_pBtnPTZDefault");
    verticalLayout->addWidget(NewLine(Page1, "line_6", QFrame::HLine));
    verticalLayout->addItem(new QSpacerItem(20, 10, QSizePolicy::Minimum, QSizePolicy::Expanding));
    verticalLayout->addWidget(NewLine(Page1, "line_7", QFrame::HLine));
    // Where the window leaves less height than the rows need (a taller title
    // bar), the column scrolls instead of squeezing them over each other.
    QWidget* contents = Page1;
    contents->setObjectName(QStringLiteral("Page1Contents"));
    Page1 = new QWidget(m_pStackWidget);
    Page1->setObjectName(QStringLiteral("Page1"));
    auto* pageLayout = new QVBoxLayout(Page1);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(Page1);
    scroll->setObjectName(QStringLiteral("m_pScrollPage1"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setWidget(contents);
    pageLayout->addWidget(scroll);
    m_pStackWidget->addWidget(Page1);

    page = new QWidget(m_pStackWidget);
    page->setObjectName(QStringLiteral("page"));
    verticalLayout_2 = new QVBoxLayout(page);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    m_pBtnSearch_2 = button(page, verticalLayout_2, "m_pBtnSearch_2");
    verticalLayout_2->addWidget(NewLine(page, "line_8", QFrame::HLine));
    m_pLabelUser_2 = label(page, "m_pLabelUser_2");
    verticalLayout_2->addWidget(m_pLabelUser_2);
    m_pEditUser_2 = edit(page, "m_pEditUser_2");
    verticalLayout_2->addWidget(m_pEditUser_2);
    m_pLabelPassword_2 = label(page, "m_pLabelPassword_2");
    verticalLayout_2->addWidget(m_pLabelPassword_2);
    m_pEditPassword_2 = edit(page, "m_pEditPassword_2");
    verticalLayout_2->addWidget(m_pEditPassword_2);
    verticalLayout_2->addWidget(NewLine(page, "line_9", QFrame::HLine));
    m_pBtnEnableNTP = button(page, verticalLayout_2, "m_pBtnEnableNTP");
    verticalLayout_2->addWidget(NewLine(page, "line_10", QFrame::HLine));
    verticalLayout_2->addItem(new QSpacerItem(20, 10, QSizePolicy::Minimum, QSizePolicy::Expanding));
    m_pStackWidget->addWidget(page);
}

void DeviceInfoFrame::RetranslateTexts()
{
    m_pBtnSearch->setText(LanguageText(10));
    m_pBtnSearch_2->setText(LanguageText(10));
    m_pLabelUser->setText(LanguageText(12));
    m_pLabelUser_2->setText(LanguageText(12));
    m_pLabelPassword->setText(LanguageText(13));
    m_pLabelPassword_2->setText(LanguageText(13));
    m_pLabelStartIP->setText(LanguageText(45));
    m_pLabelMediaPort->setText(LanguageText(UsesHttpApi() ? 42 : 33));
    m_pLabelGateway->setText(LanguageText(38));
    m_pLabelNetmask->setText(LanguageText(37));
    m_pBtnModify->setText(LanguageText(59));
    m_pLabelKeyID->setText(LanguageText(96));
    m_pLabelBoardID->setText(LanguageText(97));
    m_pLabelMainBoardName->setText(LanguageText(98));
    m_pLabelProductType->setText(LanguageText(99));
    m_pLabelDeviceType->setText(LanguageText(100));
    m_pLabelDeviceName->setText(LanguageText(101));
    m_pLabelFunctionCode->setText(LanguageText(102));
    m_pLabelCustomType->setText(LanguageText(103));
    m_pBtnSet->setText(LanguageText(64));
    m_pBtnDefault->setText(LanguageText(63));
    m_pBtnPTZDefault->setText(LanguageText(111));
    m_pBtnEnableNTP->setText(LanguageText(134));
}

void DeviceInfoFrame::SetButtonsEnabled(bool enabled)
{
    const QList<QWidget*> widgets = { m_pBtnSearch, m_pBtnModify, m_pBtnSet, m_pBtnDefault, m_pBtnPTZDefault,
        m_pEditUser, m_pEditPassword, m_pEditStartIP, m_pEditMediaPort, m_pEditGateway, m_pEditNetmask, m_pEditKeyID,
        m_pEditBoardID, m_pEditMainBoardName, m_pEditProductType, m_pEditDeviceType, m_pEditDeviceName,
        m_pEditFunctionCode, m_pEditCustomType, m_pCheckKeyID, m_pCheckBoardID, m_pCheckMainBoardName,
        m_pCheckProductType, m_pCheckDeviceType, m_pCheckDeviceName, m_pCheckFunctionCode, m_pCheckCustomType,
        m_pBtnSearch_2, m_pBtnEnableNTP };
    for (QWidget* widget : widgets)
        widget->setEnabled(enabled);
}

void DeviceInfoFrame::SetActionsEnabled(bool enabled)
{
    SetButtonsEnabled(enabled);
}

QString DeviceInfoFrame::NextIpAddress(const QString& text)
{
    return ::NextIpAddress(text);
}

void DeviceInfoFrame::RefreshDeviceList()
{
    SetButtonsEnabled(true);
    OperationPage::RefreshDeviceList();
}

void DeviceInfoFrame::Refuse(int textId, const QString& dialogStyleSheet)
{
    ShowRefusal(textId, 110, dialogStyleSheet);
}

void DeviceInfoFrame::onClickTableView(const QModelIndex& index)
{
    OperationPage::onClickTableView(index);
    const DeviceInfo* device = m_pModel->deviceAt(index);
    if (!device)
        return;
    // Under the HTTP API the edit is the web port's (its label says so).
    const quint32 port = UsesHttpApi() ? device->m_searchRsp.webPort : device->m_searchRsp.mediaPort;
    m_pEditMediaPort->setText(QString::number(port));
    m_pEditGateway->setText(device->Gateway());
    m_pEditNetmask->setText(device->Netmask());
}

void DeviceInfoFrame::on_m_pBtnSearch_clicked()
{
    SetButtonsEnabled(false);
    m_pModel->clear();
    {
        QMutexLocker locker(&m_mutex);
        m_workingDevices.clear();
    }
    DeviceInfoMng::Instance()->ReplaceLanDevices({});
    // The search's end lists its devices here and enables the buttons again.
    if (m_pToolBarFrame)
        emit m_pToolBarFrame->SearchRequest();
}

void DeviceInfoFrame::on_m_pBtnSearch_2_clicked()
{
    on_m_pBtnSearch_clicked();
}

void DeviceInfoFrame::on_m_pBtnModify_clicked()
{
    const QString startIp = m_pEditStartIP->text();
    const quint16 port = m_pEditMediaPort->text().toUShort();
    const QString gateway = m_pEditGateway->text();
    const QString netmask = m_pEditNetmask->text();
    LineEdit* fault = startIp.isEmpty() ? m_pEditStartIP
        : port == 0                     ? m_pEditMediaPort
        : gateway.isEmpty()             ? m_pEditGateway
        : netmask.isEmpty()             ? m_pEditNetmask
                                        : nullptr;
    if (fault) {
        Refuse(104, QLatin1String(kDialogFrameStyle));
        fault->setFocus(Qt::OtherFocusReason);
        return;
    }
    // Every field is typed here, so the start address gives the batch's network.
    if (const NetworkInputFault wrong = CheckNetworkInput(startIp, netmask, gateway, QString(), QString())) {
        RefuseNetworkInput(wrong, { m_pLabelStartIP, m_pEditStartIP }, { m_pLabelNetmask, m_pEditNetmask },
            { m_pLabelGateway, m_pEditGateway }, QLatin1String(kDialogFrameStyle));
        return;
    }
    QList<DeviceInfo*> devices;
    if (!StartAction(110, &devices))
        return;
    BeginBatch(devices, false);

    const bool http = UsesHttpApi();
    QStringList masks;
    for (int i = 0; i < devices.size(); ++i)
        masks << netmask;
    const QVector<BatchAddress> plan = PlanBatchAddresses(startIp, masks);
    for (int i = 0; i < devices.size(); ++i) {
        DeviceInfo* device = devices.at(i);
        if (!device->m_pDeviceInfoFrame)
            device->m_pDeviceInfoFrame = this;
        if (plan.at(i).refused) {
            // Its address would leave it unreachable: nothing is sent.
            device->m_status = StatusFailed;
            OnDeviceTaskFinished(device, true);
            continue;
        }
        device->SetParams(m_pEditUser->text(), m_pEditPassword->text(), QString(), QString(), QString(), QString(),
            QString(), 0, 0, 0, 0);
        device->SetNetworkAddress(plan.at(i).ip, port, 80, gateway, netmask, 1);
        // The page has no DNS edits: each device keeps its own servers.
        device->m_newDns1 = FieldText(device->m_searchRsp.dns1);
        device->m_newDns2 = FieldText(device->m_searchRsp.dns2);
        // The HTTP API takes the new web port from its own field.
        if (http)
            device->m_newHttpPort = port;
        qDebug().noquote() << "IP:" << plan.at(i).ip << " Mac address:" << device->Mac();
        QueueDevices(&ModifyNetworkTask, { device });
    }
}

bool DeviceInfoFrame::CheckFactoryInput()
{
    const QList<QPair<QCheckBox*, LineEdit*>> fields
        = { { m_pCheckKeyID, m_pEditKeyID }, { m_pCheckBoardID, m_pEditBoardID },
              { m_pCheckMainBoardName, m_pEditMainBoardName }, { m_pCheckProductType, m_pEditProductType },
              { m_pCheckDeviceType, m_pEditDeviceType }, { m_pCheckDeviceName, m_pEditDeviceName },
              { m_pCheckFunctionCode, m_pEditFunctionCode }, { m_pCheckCustomType, m_pEditCustomType } };
    bool anyTicked = false;
    for (const auto& field : fields)
        anyTicked = anyTicked || field.first->isChecked();
    if (!anyTicked) {
        Refuse(104);
        return false;
    }
    for (const auto& field : fields) {
        if (field.first->isChecked() && field.second->text().isEmpty()) {
            Refuse(104);
            return false;
        }
    }
    if (m_pCheckMainBoardName->isChecked() && !MainBoardNameValid(m_pEditMainBoardName->text())) {
        Refuse(Company() == 8 ? 106 : 105);
        m_pEditMainBoardName->setFocus(Qt::OtherFocusReason);
        return false;
    }
    if (m_pCheckFunctionCode->isChecked()) {
        bool number = false;
        m_pEditFunctionCode->text().toLongLong(&number, 10);
        if (!number) {
            Refuse(107);
            m_pEditFunctionCode->clear();
            return false;
        }
    }
    if (m_pCheckBoardID->isChecked()) {
        const int length = m_pEditBoardID->text().size();
        if (length < 1 || length > 16) {
            Refuse(108);
            return false;
        }
    }
    if (m_pCheckKeyID->isChecked() && !KeyIdValid(m_pEditKeyID->text())) {
        Refuse(109);
        return false;
    }
    return true;
}

void DeviceInfoFrame::BuildFactoryInfo()
{
    std::memset(&m_factoryInfo, 0, sizeof(m_factoryInfo));
    m_factoryInfo.size = sizeof(m_factoryInfo);
    struct Text
    {
        QCheckBox* box;
        LineEdit* edit;
        char* field;
        int width;
        uint32_t bit;
        const char* log;
    };
    const Text texts[] = {
        { m_pCheckMainBoardName, m_pEditMainBoardName, m_factoryInfo.mainBoardName,
            int(sizeof(m_factoryInfo.mainBoardName)), ZVNET_FACTORY_MAIN_BOARD_NAME, "MainBoardName:" },
        { m_pCheckProductType, m_pEditProductType, m_factoryInfo.productType, int(sizeof(m_factoryInfo.productType)),
            ZVNET_FACTORY_PRODUCT_TYPE, "ProductType:" },
        { m_pCheckDeviceType, m_pEditDeviceType, m_factoryInfo.deviceType, int(sizeof(m_factoryInfo.deviceType)),
            ZVNET_FACTORY_DEVICE_TYPE, "DeviceType:" },
        { m_pCheckDeviceName, m_pEditDeviceName, m_factoryInfo.deviceName, int(sizeof(m_factoryInfo.deviceName)),
            ZVNET_FACTORY_DEVICE_NAME, "DeviceName:" },
    };
    for (const Text& text : texts) {
        if (!text.box->isChecked())
            continue;
        PutUtf8(text.edit->text(), text.field, text.width);
        m_factoryInfo.changeMask |= text.bit;
        qDebug() << text.log << text.edit->text();
    }
    if (m_pCheckFunctionCode->isChecked()) {
        m_factoryInfo.functionCode = m_pEditFunctionCode->text().toLongLong(nullptr, 10);
        m_factoryInfo.changeMask |= ZVNET_FACTORY_FUNCTION_CODE;
        qDebug() << "FunctionCode:" << m_factoryInfo.functionCode;
    }
    if (m_pCheckCustomType->isChecked()) {
        PutUtf8(m_pEditCustomType->text(), m_factoryInfo.customType, int(sizeof(m_factoryInfo.customType)));
        m_factoryInfo.changeMask |= ZVNET_FACTORY_CUSTOM_TYPE;
        qDebug() << "CustomType:" << m_pEditCustomType->text();
    }
}

void DeviceInfoFrame::on_m_pBtnSet_clicked()
{
    if (!CheckFactoryInput())
        return;
    BuildFactoryInfo();
    QList<DeviceInfo*> devices;
    if (!StartAction(110, &devices))
        return;
    BeginBatch(devices, false);
    const QString keyId = m_pCheckKeyID->isChecked() ? m_pEditKeyID->text() : QString();
    const QString boardId = m_pCheckBoardID->isChecked() ? m_pEditBoardID->text() : QString();
    PrepareDevices(devices, m_pEditUser->text(), m_pEditPassword->text(), [&](DeviceInfo* device) {
        device->SetKeyIdAndBoardId(keyId, boardId);
        device->SetFactoryInfo(&m_factoryInfo);
    });
    QueueDevices(&SetFactoryInfoTask, devices);
}

void DeviceInfoFrame::RunSimpleBatch(LineEdit* user, LineEdit* password, void (*task)(void*))
{
    QList<DeviceInfo*> devices;
    if (!StartAction(110, &devices))
        return;
    BeginBatch(devices, false);
    PrepareDevices(devices, user->text(), password->text());
    QueueDevices(task, devices);
}

void DeviceInfoFrame::on_m_pBtnDefault_clicked()
{
    RunSimpleBatch(m_pEditUser, m_pEditPassword, &DefaultTask);
}

void DeviceInfoFrame::on_m_pBtnPTZDefault_clicked()
{
    RunSimpleBatch(m_pEditUser, m_pEditPassword, &PTZDefaultTask);
}

void DeviceInfoFrame::on_m_pBtnEnableNTP_clicked()
{
    RunSimpleBatch(m_pEditUser_2, m_pEditPassword_2, &EnableNTPTask);
}
