#include "DefaultSelection.h"

#include "LanguageTexts.h"
#include "ZVAppSetting.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpacerItem>
#include <QTimer>
#include <QVBoxLayout>

#include <initializer_list>

namespace
{
DefaultSelection::ShownHook g_shownHook;

QWidget* LayoutWidget(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* widget = new QWidget(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

template <typename Layout> Layout* NewLayout(QWidget* widget, const char* name)
{
    auto* layout = new Layout(widget);
    layout->setObjectName(QLatin1String(name));
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

template <typename Button> Button* AddButton(QWidget* parent, QLayout* layout, const char* name, int textId)
{
    auto* button = new Button(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(LanguageText(textId));
    layout->addWidget(button);
    return button;
}

struct ColumnBox
{
    QCheckBox** box;
    const char* name;
    int textId;
};

// A column of check boxes, top to bottom, in a layout widget of its own.
void AddColumn(QWidget* dialog, QWidget*& widget, QVBoxLayout*& layout, const char* widgetName, const char* layoutName,
    const QRect& geometry, std::initializer_list<ColumnBox> boxes)
{
    widget = LayoutWidget(dialog, widgetName, geometry);
    layout = NewLayout<QVBoxLayout>(widget, layoutName);
    for (const ColumnBox& box : boxes)
        *box.box = AddButton<QCheckBox>(widget, layout, box.name, box.textId);
}

void ShowColumn(const QList<QCheckBox*>& boxes, bool shown)
{
    for (QCheckBox* box : boxes) {
        box->setEnabled(shown);
        box->setVisible(shown);
    }
}
} // namespace

DefaultSelection::DefaultSelection(QWidget* page, int mode)
    : QDialog(page)
    , m_mode(mode)
{
    BuildForm();
    connect(m_bConfirm, &QPushButton::clicked, this, &DefaultSelection::OnClickConfirm);
    connect(m_bCancel, &QPushButton::clicked, this, &DefaultSelection::OnClickCancel);
    connect(m_cAll, &QCheckBox::clicked, this, &DefaultSelection::OnClickMediaSelectAll);
    connect(m_cHttpAll, &QCheckBox::clicked, this, &DefaultSelection::OnClickHttpSelectAll);
    connect(m_cNetwork, &QCheckBox::clicked, this, &DefaultSelection::OnClickNetwork);
    connect(m_cHttpNetwork, &QCheckBox::clicked, this, &DefaultSelection::OnClickHttpNetwork);
    connect(m_rExceptNetwork, &QRadioButton::clicked, this, &DefaultSelection::OnClickExcept);
    connect(m_rAll, &QRadioButton::clicked, this, &DefaultSelection::OnClickAll);

    const bool http = m_mode == 1;
    ShowColumn(SdkBoxes(), !http);
    ShowColumn(HttpBoxes(), http);
    // The columns share the dialog's middle: only the mode's own is shown.
    verticalLayoutWidget->setVisible(!http);
    verticalLayoutWidget_3->setVisible(http);
    for (QRadioButton* radio : { m_rExceptNetwork, m_rAll }) {
        radio->setEnabled(true);
        radio->setVisible(true);
    }
    if (http)
        OnClickHttpNetwork();
    else
        OnClickNetwork();
}

void DefaultSelection::BuildForm()
{
    setObjectName(QStringLiteral("DefaultSelection"));
    resize(465, 389);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(LanguageText(221));

    m_lTip = new QLabel(this);
    m_lTip->setObjectName(QStringLiteral("m_lTip"));
    // The tip ends above the columns, the left column beside the radio buttons.
    m_lTip->setGeometry(120, 40, 241, 20);
    m_lTip->setText(LanguageText(220));

    // The SDK's groups, and left of them the HTTP API's.
    AddColumn(this, verticalLayoutWidget, verticalLayout, "verticalLayoutWidget", "verticalLayout",
        QRect(180, 60, 91, 190),
        { { &m_cAll, "m_cAll", 235 }, { &m_cAdvanced, "m_cAdvanced", 209 }, { &m_cAlarm, "m_cAlarm", 214 },
            { &m_cDevice, "m_cDevice", 211 }, { &m_cDisplay, "m_cDisplay", 207 },
            { &m_cIntelligent, "m_cIntelligent", 210 }, { &m_cNetwork, "m_cNetwork", 215 },
            { &m_cPairing, "m_cPairing", 213 }, { &m_cRecord, "m_cRecord", 208 }, { &m_cSystem, "m_cSystem", 212 } });
    AddColumn(this, verticalLayoutWidget_3, verticalLayout_3, "verticalLayoutWidget_3", "verticalLayout_3",
        QRect(90, 60, 90, 231),
        { { &m_cHttpAll, "m_cHttpAll", 87 }, { &m_cHttpChannel, "m_cHttpChannel", 236 },
            { &m_cHttpRecord, "m_cHttpRecord", 71 }, { &m_cHttpEvent, "m_cHttpEvent", 194 },
            { &m_cHttpAlarm, "m_cHttpAlarm", 67 }, { &m_cHttpAI, "m_cHttpAI", 195 },
            { &m_cHttpNetwork, "m_cHttpNetwork", 70 }, { &m_cHttpDevice, "m_cHttpDevice", 68 },
            { &m_cHttpSystem, "m_cHttpSystem", 72 } });

    verticalLayoutWidget_2 = LayoutWidget(this, "verticalLayoutWidget_2", QRect(180, 250, 231, 41));
    verticalLayout_2 = NewLayout<QVBoxLayout>(verticalLayoutWidget_2, "verticalLayout_2");
    m_rExceptNetwork = AddButton<QRadioButton>(verticalLayoutWidget_2, verticalLayout_2, "m_rExceptNetwork", 218);
    m_rAll = AddButton<QRadioButton>(verticalLayoutWidget_2, verticalLayout_2, "m_rAll", 219);

    horizontalLayoutWidget = LayoutWidget(this, "horizontalLayoutWidget", QRect(90, 300, 251, 41));
    horizontalLayout = NewLayout<QHBoxLayout>(horizontalLayoutWidget, "horizontalLayout");
    horizontalLayout->setAlignment(Qt::AlignCenter);
    m_bConfirm = AddButton<QPushButton>(horizontalLayoutWidget, horizontalLayout, "m_bConfirm", 216);
    m_bConfirm->setFixedSize(80, 25);
    horizontalLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_bCancel = AddButton<QPushButton>(horizontalLayoutWidget, horizontalLayout, "m_bCancel", 217);
    m_bCancel->setFixedSize(80, 25);
}

QList<QCheckBox*> DefaultSelection::SdkBoxes() const
{
    return { m_cAll, m_cAdvanced, m_cAlarm, m_cDevice, m_cDisplay, m_cIntelligent, m_cNetwork, m_cPairing, m_cRecord,
        m_cSystem };
}

QList<QCheckBox*> DefaultSelection::HttpBoxes() const
{
    return { m_cHttpAll, m_cHttpChannel, m_cHttpRecord, m_cHttpEvent, m_cHttpAlarm, m_cHttpAI, m_cHttpNetwork,
        m_cHttpDevice, m_cHttpSystem };
}

DefaultSelection::ShownHook DefaultSelection::SetShownHook(ShownHook hook)
{
    std::swap(g_shownHook, hook);
    return hook;
}

void DefaultSelection::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!g_shownHook)
        return;
    // Run once the dialog's own event loop turns, as a user's clicks would.
    QPointer<DefaultSelection> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self && self->isVisible() && g_shownHook)
            g_shownHook(self);
    });
}

void DefaultSelection::FollowNetworkBox(const QCheckBox* network)
{
    const bool ticked = network->isChecked();
    // Exclusive radio buttons cannot untick the checked one; let go of the
    // exclusivity for the moment.
    for (QRadioButton* radio : { m_rExceptNetwork, m_rAll })
        radio->setAutoExclusive(false);
    for (QRadioButton* radio : { m_rExceptNetwork, m_rAll }) {
        radio->setChecked(false);
        radio->setEnabled(ticked);
        radio->setVisible(ticked);
    }
    for (QRadioButton* radio : { m_rExceptNetwork, m_rAll })
        radio->setAutoExclusive(true);
}

void DefaultSelection::OnClickConfirm()
{
    m_bAccepted = true;
    if (m_mode == 0) {
        m_sdkFlags[SdkDisplay] = m_cDisplay->isChecked();
        m_sdkFlags[SdkRecord] = m_cRecord->isChecked();
        m_sdkFlags[SdkAdvanced] = m_cAdvanced->isChecked();
        m_sdkFlags[SdkIntelligent] = m_cIntelligent->isChecked();
        m_sdkFlags[SdkNetwork] = m_cNetwork->isChecked();
        m_sdkFlags[SdkDevice] = m_cDevice->isChecked();
        m_sdkFlags[SdkSystem] = m_cSystem->isChecked();
        m_sdkFlags[SdkExceptNetwork] = m_rExceptNetwork->isChecked();
        m_sdkFlags[SdkPairing] = m_cPairing->isChecked();
        m_sdkFlags[SdkAlarm] = m_cAlarm->isChecked();
        m_sdkFlags[SdkAll] = m_rAll->isChecked();
    } else {
        const bool network = m_cHttpNetwork->isChecked();
        m_httpFlags[HttpChannel] = m_cHttpChannel->isChecked();
        m_httpFlags[HttpRecord] = m_cHttpRecord->isChecked();
        m_httpFlags[HttpAlarm] = m_cHttpAlarm->isChecked();
        m_httpFlags[HttpNetwork] = network;
        m_httpFlags[HttpDevice] = m_cHttpDevice->isChecked();
        m_httpFlags[HttpSystem] = m_cHttpSystem->isChecked();
        m_httpFlags[HttpAi] = m_cHttpAI->isChecked();
        m_httpFlags[HttpEvent] = m_cHttpEvent->isChecked();
        m_httpFlags[HttpExceptNetwork] = m_rExceptNetwork->isChecked() && network;
        m_httpFlags[HttpAll] = m_rAll->isChecked() && network;
    }
    accept();
}

void DefaultSelection::OnClickExcept()
{
    m_rAll->setChecked(false);
}

void DefaultSelection::OnClickAll()
{
    m_rExceptNetwork->setChecked(false);
}

void DefaultSelection::OnClickNetwork()
{
    FollowNetworkBox(m_cNetwork);
}

void DefaultSelection::OnClickHttpNetwork()
{
    FollowNetworkBox(m_cHttpNetwork);
}

void DefaultSelection::OnClickCancel()
{
    m_bAccepted = false;
    reject();
}

void DefaultSelection::OnClickMediaSelectAll()
{
    const bool ticked = m_cAll->isChecked();
    for (QCheckBox* box : SdkBoxes()) {
        if (box != m_cAll)
            box->setChecked(ticked);
    }
    if (Company() != 40)
        OnClickNetwork();
}

void DefaultSelection::OnClickHttpSelectAll()
{
    const bool ticked = m_cHttpAll->isChecked();
    for (QCheckBox* box : HttpBoxes()) {
        if (box != m_cHttpAll)
            box->setChecked(ticked);
    }
    OnClickHttpNetwork();
}
