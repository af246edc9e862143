// Starts the program for one customer code under a real X server and renders
// the main window at 1920x1080 and at its minimum size: the LAN search page
// with 20 devices listed (one checked, the panel shown), the same page with
// the tool bar locked as during a batch, and the IP-range page in the middle
// of a search; at full size also the about box, a query box and the
// first-password box. Each state is checked for cut texts, characters no
// installed font can draw, overlapping widgets and empty images, and saved as
// PNG. Then each operation page of the table kPageShots that the customer
// has, in a state of its own (the upgrade page mid-batch), with the 20 devices
// at 1920x1080 and at the minimum size; the restore-defaults page also shows
// its group dialog where it has one. With a language file named, the program
// starts with the shipped settings in that language and renders the search
// page at both sizes; every other page is then checked at the minimum size.
// Every step waits for what it needs, never for a time.
//
//   devscan_screenshot CODE OUTPUT_DIR [LANGUAGE_FILE]
#include "BaseDialog.h"
#include "CheckBoxHeaderView.h"
#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DefaultSelection.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "DevicePage.h"
#include "ExtranetsearchFrame.h"
#include "FixedText.h"
#include "InitPwdBox.h"
#include "LanguageTexts.h"
#include "MainFrame.h"
#include "OperationPage.h"
#include "PageIndex.h"
#include "SearchFrame.h"
#include "Startup.h"
#include "TestSupport.h"
#include "TitleBarFrame.h"
#include "ToolBarFrame.h"
#include "ZVAppSetting.h"
#include "ZVMessageBox.h"
#include "ZVSdkConfig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRawFont>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOption>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <vector>

namespace
{
constexpr int kWaitMs = 60000;
// The range page's search, 2 blocks of 64 addresses, one at a time. The SDK's
// blocks each wait out their addresses' time-out; the JSON search's first
// block ends at once (nothing listens there) and the second waits on an
// address that takes the connection and never answers. Either way it is
// caught half-way, and two blocks keep the wait for its end short.
const QString kRangeStart = QStringLiteral("127.0.0.1");
const QString kRangeStop = QStringLiteral("127.0.0.128");
const QHostAddress kSilentAddress(QStringLiteral("127.0.0.128"));
constexpr quint16 kSilentPort = 18443;

QStringList g_problems;
QString g_state;
// The pictures' path and name up to the state's part.
QString g_stem;
// Pages checked without being opened have not filled their info labels yet.
bool g_emptyLabelsShown = false;

void Problem(const QString& text)
{
    g_problems << QStringLiteral("%1: %2").arg(g_state, text);
}

bool WaitFor(const std::function<bool()>& condition, const char* what)
{
    if (QTest::qWaitFor(condition, kWaitMs))
        return true;
    Problem(QStringLiteral("gave up waiting for %1").arg(QLatin1String(what)));
    return false;
}

QString Describe(const QWidget* widget)
{
    QString name = QString::fromLatin1(widget->metaObject()->className());
    if (!widget->objectName().isEmpty())
        name += QLatin1Char('#') + widget->objectName();
    return name;
}

void CheckFits(const QWidget* widget, const QString& text, int textWidth, int room)
{
    if (!text.isEmpty() && textWidth > room)
        Problem(QStringLiteral("%1 cuts its text \"%2\" (%3 px in %4)")
                    .arg(Describe(widget), text)
                    .arg(textWidth)
                    .arg(room));
}

// Whether any pixel of the image differs from the first one.
bool HasContent(const QImage& image)
{
    if (image.isNull())
        return false;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != first)
                return true;
        }
    }
    return false;
}

void CheckLabel(const QLabel* label)
{
    const QPixmap pixmap = label->pixmap(Qt::ReturnByValue);
    if (label->text().isEmpty()) {
        if (g_emptyLabelsShown)
            return;
        if (pixmap.isNull() || !HasContent(pixmap.toImage()))
            Problem(QStringLiteral("%1 shows neither text nor image").arg(Describe(label)));
        return;
    }
    if (label->wordWrap())
        return;
    const int room = label->contentsRect().width() - 2 * label->margin();
    CheckFits(label, label->text(), label->fontMetrics().size(0, label->text()).width(), room);
}

void CheckPushButton(const QPushButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (button->isChecked())
        option.state |= QStyle::State_On;
    const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    CheckFits(button, button->text(), button->fontMetrics().horizontalAdvance(button->text()), contents.width());
}

void CheckToolButton(const QToolButton* button)
{
    if (button->text().isEmpty() || button->toolButtonStyle() == Qt::ToolButtonIconOnly)
        return;
    // The button's own frame and padding are what its size hint adds to the text.
    const int textWidth = button->fontMetrics().horizontalAdvance(button->text());
    const int chrome = button->sizeHint().width() - textWidth;
    CheckFits(button, button->text(), textWidth, button->width() - chrome);
}

void CheckLineEdit(const QLineEdit* edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    option.state |= QStyle::State_Sunken;
    QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    // QLineEdit keeps two pixels of its own on either side of the text.
    const int room = contents.width() - margins.left() - margins.right() - 2 * 2;
    CheckFits(edit, edit->displayText(), edit->fontMetrics().horizontalAdvance(edit->displayText()), room);
}

void CheckComboBox(const QComboBox* combo)
{
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.currentText = combo->currentText();
    option.subControls = QStyle::SC_All;
    const QRect field
        = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
    CheckFits(combo, combo->currentText(), combo->fontMetrics().horizontalAdvance(combo->currentText()), field.width());
}

// The header draws each label in the style's label rectangle of its section
// (beside the sort arrow where one is shown, right of a check box).
void CheckHeader(const CheckBoxHeaderView* header)
{
    const QAbstractItemModel* model = header->model();
    if (!model)
        return;
    for (int section = 0; section < header->count(); ++section) {
        if (header->isSectionHidden(section) || header->sectionSize(section) == 0)
            continue;
        const QString text = model->headerData(section, Qt::Horizontal).toString();
        const QRect label = header->labelRect(section);
        const int textWidth = QFontMetrics(header->sectionFont()).horizontalAdvance(text);
        if (!text.isEmpty() && textWidth > label.width())
            Problem(QStringLiteral("header section %1 of %2 cuts its text \"%3\" (%4 px in %5)")
                        .arg(section)
                        .arg(Describe(header->parentWidget()), text)
                        .arg(textWidth)
                        .arg(label.width()));
    }
}

// Each cell shows its whole text on one line (the last column stretches to
// the view's edge and may run beyond it).
void CheckTable(const CheckBoxTableView* view)
{
    const QAbstractItemModel* model = view->model();
    if (!model || !view->itemDelegate())
        return;
    QStyleOptionViewItem option;
    option.initFrom(view->viewport());
    // Cells are drawn in the view's font (the style sheet's), not the viewport's.
    option.font = view->font();
    option.fontMetrics = view->fontMetrics();
    option.widget = view;
    for (int column = 0; column < model->columnCount() - 1; ++column) {
        if (view->isColumnHidden(column))
            continue;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex index = model->index(row, column);
            const int needed = view->itemDelegate()->sizeHint(option, index).width();
            if (needed > view->columnWidth(column)) {
                Problem(QStringLiteral("%1 cuts cell %2,%3 \"%4\" (%5 px in %6)")
                            .arg(Describe(view))
                            .arg(row)
                            .arg(column)
                            .arg(index.data().toString())
                            .arg(needed)
                            .arg(view->columnWidth(column)));
                break;
            }
        }
    }
}

// The characters of a text that no installed font can draw (shown as boxes).
QString Undrawable(const QString& text)
{
    static QHash<uint, bool> drawable;
    static const QStringList families = QFontDatabase().families();
    QString missing;
    for (const uint c : text.toUcs4()) {
        if (c < 0x80)
            continue;
        auto known = drawable.find(c);
        if (known == drawable.end()) {
            bool found = false;
            for (int i = 0; i < families.size() && !found; ++i)
                found = QRawFont::fromFont(QFont(families.at(i))).supportsCharacter(c);
            known = drawable.insert(c, found);
        }
        if (!*known)
            missing += QString::fromUcs4(&c, 1);
    }
    return missing;
}

void CheckGlyphs(const QWidget* widget, const QString& text)
{
    const QString missing = Undrawable(text);
    if (!missing.isEmpty())
        Problem(QStringLiteral("%1 has no font for \"%2\" in \"%3\"").arg(Describe(widget), missing, text));
}

void CheckWidgetGlyphs(const QWidget* widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        CheckGlyphs(label, label->text());
    else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        CheckGlyphs(button, button->text());
    else if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        CheckGlyphs(combo, combo->currentText());
    else if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
        CheckGlyphs(edit, edit->displayText());
    else if (const auto* header = qobject_cast<const QHeaderView*>(widget)) {
        for (int section = 0; header->model() && section < header->count(); ++section)
            CheckGlyphs(header, header->model()->headerData(section, header->orientation()).toString());
    }
}

void CheckOverlaps(const QWidget* parent)
{
    QList<const QWidget*> shown;
    for (const QObject* child : parent->children()) {
        const auto* widget = qobject_cast<const QWidget*>(child);
        if (widget && widget->isVisible() && !widget->isWindow())
            shown << widget;
    }
    for (int i = 0; i < shown.size(); ++i) {
        for (int j = i + 1; j < shown.size(); ++j) {
            if (shown.at(i)->geometry().intersects(shown.at(j)->geometry()))
                Problem(QStringLiteral("%1 and %2 overlap").arg(Describe(shown.at(i)), Describe(shown.at(j))));
        }
    }
}

void CheckWindow(const QWidget* window)
{
    CheckOverlaps(window);
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisible())
            continue;
        // The scroll area's own parts (viewport, bars) are laid over each other on purpose.
        if (!qobject_cast<const QStackedWidget*>(widget) && !qobject_cast<const QAbstractScrollArea*>(widget))
            CheckOverlaps(widget);
        CheckWidgetGlyphs(widget);
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            CheckLabel(label);
        else if (const auto* push = qobject_cast<const QPushButton*>(widget))
            CheckPushButton(push);
        else if (const auto* tool = qobject_cast<const QToolButton*>(widget))
            CheckToolButton(tool);
        else if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
            CheckLineEdit(edit);
        else if (const auto* combo = qobject_cast<const QComboBox*>(widget))
            CheckComboBox(combo);
        else if (const auto* header = qobject_cast<const CheckBoxHeaderView*>(widget))
            CheckHeader(header);
        else if (const auto* table = qobject_cast<const CheckBoxTableView*>(widget))
            CheckTable(table);
    }
}

// Lets every pending layout and paint happen.
void Settle(QWidget* window)
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    window->repaint();
    QCoreApplication::processEvents();
}

void SaveWindow(QWidget* window, const QString& path)
{
    Settle(window);
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, window->x(), window->y(), window->width(), window->height())
                            .toImage();
    if (!HasContent(shot))
        Problem(QStringLiteral("the picture is empty"));
    // Quality 0: the smallest PNG (these pictures are kept).
    if (shot.isNull() || !shot.save(path, "PNG", 0))
        Problem(QStringLiteral("cannot save %1").arg(path));
}

SearchDevRsp Record(int n)
{
    SearchDevRsp record;
    std::memset(&record, 0, sizeof(record));
    CopyLatin1(QStringLiteral("10.213.100.%1").arg(n + 1), record.ip);
    CopyLatin1(QStringLiteral("Camera %1 Gate West").arg(n + 1), record.deviceName);
    CopyLatin1(QStringLiteral("IPC-HFW5442E-ZE"), record.deviceType);
    CopyLatin1(QStringLiteral("V5.7.12.231108_B2045"), record.deviceVersion);
    CopyLatin1(QStringLiteral("255.255.255.0"), record.netmask);
    CopyLatin1(QStringLiteral("10.213.100.254"), record.gateway);
    CopyLatin1(QStringLiteral("10.213.100.254"), record.dns1);
    CopyLatin1(QStringLiteral("8.8.8.8"), record.dns2);
    CopyLatin1(QStringLiteral("AC:12:03:4F:%1:%2")
                   .arg(n / 10, 2, 10, QLatin1Char('0'))
                   .arg(n % 10 * 11, 2, 10, QLatin1Char('0')),
        record.mac);
    CopyLatin1(QStringLiteral("ZV%1P2PDEVICE").arg(4000000 + n), record.p2pId);
    record.mediaPort = 9000;
    record.webPort = 80;
    record.networkMode = n % 3 == 0 ? ZVNET_NET_MODE_DHCP : ZVNET_NET_MODE_STATIC;
    record.channelNumber = n % 4 == 0 ? 4 : 1;
    return record;
}

CheckBoxTableModel* ModelOf(const CheckBoxTableView* view)
{
    return CheckBoxTableModel::FromViewModel(view->model());
}

// The search page lists 20 devices: found by the running search where the
// customer has a LAN search, else listed as a search would list them (on the
// range list, which the HTTP API customers' pages show).
void ListDevices(MainFrame* window)
{
    SearchFrame* search = window->SearchPage();
    window->ToolBar()->Button(ToolBarFrame::ButtonSearch)->click();
    auto* view = search->findChild<CheckBoxTableView*>(QStringLiteral("m_pNormalView"));
    void* run = search->SearchRun();
    if (run) {
        for (int n = 0; n < 20; ++n) {
            const SearchDevRsp record = Record(n);
            SearchFrame::SearchCallback(&record, run);
        }
        SearchFrame::SearchCallback(nullptr, run);
    } else {
        WaitFor([&] { return !search->IsSearching(); }, "the search to end");
        QList<DeviceInfo*> devices;
        for (int n = 0; n < 20; ++n) {
            const SearchDevRsp record = Record(n);
            auto* device = new DeviceInfo;
            device->InitFromSearchRsp(&record, false);
            devices << device;
        }
        // The pages and the range table let go of the devices the list frees.
        for (int index = 0; index < PageCount; ++index) {
            if (auto* page = qobject_cast<OperationPage*>(window->Page(static_cast<PageIndex>(index))))
                page->ClearDeviceList();
        }
        DevicePage* range = window->Page(PageExtranetSearch);
        for (CheckBoxTableView* table : range ? range->findChildren<CheckBoxTableView*>() : QList<CheckBoxTableView*>())
            ModelOf(table)->setDevices({});
        DeviceInfoMng::Instance()->ReplaceExtranetDevices(devices);
        ModelOf(view)->setDevices(devices);
    }
    WaitFor([&] { return !search->IsSearching() && view->model()->rowCount() == 20; }, "20 listed devices");
}

// One device checked by its box, as a user checks it: the panel opens for a
// batch; the user then types the batch's addresses (the widest there are).
void CheckOneDevice(MainFrame* window)
{
    SearchFrame* search = window->SearchPage();
    auto* view = search->findChild<CheckBoxTableView*>(QStringLiteral("m_pNormalView"));
    const QModelIndex cell = view->model()->index(2, 0);
    QStyleOptionViewItem option;
    option.initFrom(view->viewport());
    option.rect = view->visualRect(cell);
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    option.widget = view;
    const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    auto* bottom = search->findChild<QFrame*>(QStringLiteral("SearchFrameBottom"));
    WaitFor([&] { return view->headCheckState() == Qt::PartiallyChecked && bottom->isVisible(); },
        "one checked device and the panel");
    const QList<QPair<const char*, const char*>> typed = { { "m_pEditIP", "192.168.100.200" },
        { "m_pEditGateway", "192.168.100.254" }, { "m_pEditNetMask", "255.255.255.255" },
        { "m_pEditDNS1", "255.255.255.255" }, { "m_pEditDNS2", "192.168.100.254" } };
    for (const auto& entry : typed) {
        auto* edit = search->findChild<QLineEdit*>(QLatin1String(entry.first));
        if (edit && edit->isVisible() && edit->isEnabled())
            edit->setText(QLatin1String(entry.second));
    }
}

// The range page half-way through a search of two blocks.
class RangeScene
{
public:
    explicit RangeScene(MainFrame* window)
        : m_window(window)
    {
        // An address that takes the JSON search's connection and never answers.
        QObject::connect(&m_silent, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_silent.nextPendingConnection())
                m_held << socket;
        });
        m_silent.listen(kSilentAddress, kSilentPort);
        ZVSdkSetRangeSearch(kSilentPort, 64, 60000);
        // The UDP search has no connection to hold: each block waits out its
        // addresses' time-out, so a short one brings the search half-way soon.
        ZVAppSetting* settings = ZVAppSetting::Instance();
        if (!IsHttpApiCompany(settings->m_company))
            settings->m_rangeSearchTimeoutMs = 2000;
    }

    bool Start()
    {
        // The search frees the range list, which the search page's table
        // shows for the customers without a LAN search.
        if (IsHttpApiCompany(ZVAppSetting::Instance()->m_company)) {
            SearchFrame* search = m_window->SearchPage();
            ModelOf(search->findChild<CheckBoxTableView*>(QStringLiteral("m_pNormalView")))->setDevices({});
        }
        m_window->OnExtranetsearchRequest();
        m_page = static_cast<ExtranetsearchFrame*>(m_window->Page(PageExtranetSearch));
        m_page->findChild<QLineEdit*>(QStringLiteral("m_pEditStaIP"))->setText(kRangeStart);
        m_page->findChild<QLineEdit*>(QStringLiteral("m_pEditEndIP"))->setText(kRangeStop);
        m_page->findChild<QPushButton*>(QStringLiteral("m_pBtnQuery"))->click();
        auto* progress = m_page->findChild<QProgressBar*>(QStringLiteral("m_pProgress"));
        return WaitFor([&] { return m_page->IsSearching() && progress->value() > 0; }, "the range search half-way");
    }

    // Lets the search end: the silent address hangs up.
    void Finish()
    {
        for (QTcpSocket* socket : qAsConst(m_held))
            socket->abort();
        qDeleteAll(m_held);
        m_held.clear();
        m_silent.close();
        // The search's end hands the tool bar back in a posted event, after
        // the search itself has stopped: wait for what the user sees.
        if (!m_page)
            return;
        auto* query = m_page->findChild<QPushButton*>(QStringLiteral("m_pBtnQuery"));
        QPushButton* search = m_window->ToolBar()->Button(ToolBarFrame::ButtonSearch);
        WaitFor([&] { return !m_page->IsSearching() && query->isEnabled() && search->isEnabled(); },
            "the range search to end");
    }

private:
    MainFrame* m_window;
    ExtranetsearchFrame* m_page = nullptr;
    QTcpServer m_silent;
    QList<QTcpSocket*> m_held;
};

void RenderSize(MainFrame* window, const QString& stem, const QString& size)
{
    g_state = size + QStringLiteral(" search page");
    ListDevices(window);
    CheckOneDevice(window);
    Settle(window);
    CheckWindow(window);
    SaveWindow(window, QStringLiteral("%1-%2-search.png").arg(stem, size));

    g_state = size + QStringLiteral(" tool bar locked");
    window->ToolBar()->SetControlsEnabled(false);
    Settle(window);
    CheckWindow(window);
    SaveWindow(window, QStringLiteral("%1-%2-locked.png").arg(stem, size));
    window->ToolBar()->SetControlsEnabled(true);

    g_state = size + QStringLiteral(" IP-range page");
    RangeScene range(window);
    if (range.Start()) {
        Settle(window);
        CheckWindow(window);
        SaveWindow(window, QStringLiteral("%1-%2-range.png").arg(stem, size));
    }
    range.Finish();
}

// Opens a dialog, checks and saves it once it shows, and closes it.
void ShowDialogOnce(const QString& path, const std::function<void()>& open)
{
    BaseDialog::SetShownHook([&](BaseDialog* dialog) {
        QTimer::singleShot(0, dialog, [&, dialog] {
            WaitFor([&] { return dialog->windowHandle() && dialog->windowHandle()->isExposed(); }, "the dialog");
            Settle(dialog);
            CheckWindow(dialog);
            SaveWindow(dialog, path);
            dialog->TitleBar()->CloseButton()->click();
        });
    });
    open();
    BaseDialog::SetShownHook({});
}

// Sets the window to the size and waits until it has it.
bool ResizeTo(MainFrame* window, const QSize& size)
{
    window->setGeometry(QRect(QPoint(0, 0), size));
    return WaitFor([&] { return window->size() == size; }, "the window's new size");
}

// Gives the listed devices the statuses in turn, as a batch leaves them.
void ShowStatuses(const QList<DeviceInfo*>& devices, std::initializer_list<int> statuses)
{
    const std::vector<int> turn(statuses);
    for (int i = 0; i < devices.size(); ++i)
        devices.at(i)->m_status = turn.at(std::size_t(i) % turn.size());
}

// The upgrade page mid-batch: rows waiting, upgrading (with their progress),
// done and failed.
void UpgradeMidBatch(DevicePage*, const QList<DeviceInfo*>& devices)
{
    ShowStatuses(devices, { StatusWaiting, StatusUpgrading, StatusUpgradeOk, StatusUpgradeFailed });
    for (int i = 0; i < devices.size(); ++i)
        devices.at(i)->m_upgradeProgress = 5 * i;
}

void ExportedSome(DevicePage*, const QList<DeviceInfo*>& devices)
{
    ShowStatuses(devices, { StatusNone, StatusExportOk });
}

void RebootMidBatch(DevicePage*, const QList<DeviceInfo*>& devices)
{
    ShowStatuses(devices, { StatusRebooting, StatusRebootOk, StatusRebootFailed, StatusWaiting });
}

// The user has ticked "device name" and typed the new one; the batch is
// under way.
void ChangeMidBatch(DevicePage* page, const QList<DeviceInfo*>& devices)
{
    if (auto* tick = page->findChild<QCheckBox*>(QStringLiteral("m_pCheckDeviceName")))
        tick->setChecked(true);
    if (auto* edit = page->findChild<QLineEdit*>(QStringLiteral("m_pEditDeviceName")))
        edit->setText(QStringLiteral("Gate 3"));
    ShowStatuses(devices, { StatusChanging, StatusChangeOk, StatusChangeUnsupported, StatusChangeFailed });
}

// Ticks the rows of a page's table by their boxes, as a user does.
void TickRows(DevicePage* page, std::initializer_list<int> rows)
{
    auto* operation = qobject_cast<OperationPage*>(page);
    CheckBoxTableView* view = operation ? operation->TableView() : nullptr;
    if (!view) {
        Problem(QStringLiteral("no device table"));
        return;
    }
    for (const int row : rows) {
        if (row >= view->model()->rowCount()) {
            Problem(QStringLiteral("no row %1 to tick").arg(row));
            continue;
        }
        const QModelIndex cell = view->model()->index(row, 0);
        view->scrollTo(cell);
        QStyleOptionViewItem option;
        option.initFrom(view->viewport());
        option.rect = view->visualRect(cell);
        option.features = QStyleOptionViewItem::HasCheckIndicator;
        option.widget = view;
        const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    }
    view->scrollToTop();
    const int ticked = int(rows.size());
    WaitFor(
        [&] {
            QList<DeviceInfo*> checked;
            operation->Model()->getCheckedDevices(checked);
            return checked.size() == ticked;
        },
        "the ticked rows");
}

// Types the texts into the page's edits, by their names.
void Type(QWidget* page, const QList<QPair<const char*, QString>>& texts)
{
    for (const auto& entry : texts) {
        auto* edit = page->findChild<QLineEdit*>(QLatin1String(entry.first));
        if (!edit) {
            Problem(QStringLiteral("no edit %1").arg(QLatin1String(entry.first)));
            continue;
        }
        edit->setText(entry.second);
    }
}

// The page lists the devices again, each made single-channel: the stream
// and on-screen display pages list only those.
void ListSingleChannel(DevicePage* page, const QList<DeviceInfo*>& devices)
{
    for (DeviceInfo* device : devices)
        device->m_searchRsp.channelNumber = 1;
    page->RefreshDeviceList();
}

// Addresses for the ticked devices and their factory information typed.
void DeviceInfoFilled(DevicePage* page, const QList<DeviceInfo*>&)
{
    TickRows(page, { 1, 3, 4 });
    // A click on a row fills the address edits from its device: type after.
    Type(page,
        { { "m_pEditStartIP", QStringLiteral("192.168.1.10") }, { "m_pEditMediaPort", QStringLiteral("9000") },
            { "m_pEditGateway", QStringLiteral("192.168.1.1") }, { "m_pEditNetmask", QStringLiteral("255.255.255.0") },
            { "m_pEditKeyID", QStringLiteral("0x1f") }, { "m_pEditBoardID", QStringLiteral("B1") },
            { "m_pEditMainBoardName", QStringLiteral("ZV-DM-12A") } });
    for (const char* name : { "m_pCheckKeyID", "m_pCheckBoardID", "m_pCheckMainBoardName" }) {
        if (auto* tick = page->findChild<QCheckBox*>(QLatin1String(name)))
            tick->setChecked(true);
    }
}

void PasswordsTyped(DevicePage* page, const QList<DeviceInfo*>&)
{
    TickRows(page, { 1, 2 });
    Type(
        page, { { "m_pEditNewPWD", QStringLiteral("Gate3#24") }, { "m_pEditConfirmPWD", QStringLiteral("Gate3#24") } });
}

// The stream page after a query of every device; code 43 asks the sub stream.
void StreamQueried(DevicePage* page, const QList<DeviceInfo*>& devices)
{
    ListSingleChannel(page, devices);
    for (int i = 0; i < devices.size(); ++i) {
        DeviceInfo* device = devices.at(i);
        device->m_resolutionText = i % 2 ? QStringLiteral("2688x1520") : QStringLiteral("1920x1080");
        device->m_fpsText = QStringLiteral("25");
        device->m_encodeTypeText = i % 3 ? QStringLiteral("H.265") : QStringLiteral("H.264");
        device->m_customBitrate = i % 2 ? 4096 : 2048;
        device->m_status = StatusQueryOk;
    }
    if (ZVAppSetting::Instance()->m_company == 43) {
        if (auto* stream = page->findChild<QComboBox*>(QStringLiteral("m_pStreamComBox")))
            stream->setCurrentIndex(1);
    }
    TickRows(page, { 0, 3, 6 });
}

// A few devices queried; one ticked with a new channel name and positions.
void OsdQueried(DevicePage* page, const QList<DeviceInfo*>& devices)
{
    ListSingleChannel(page, devices);
    for (int i = 0; i < devices.size(); i += 3) {
        DeviceInfo* device = devices.at(i);
        device->m_osdChannelName = QStringLiteral("Gate West %1").arg(i + 1);
        device->m_osdNamePos = QStringLiteral("%1,%2").arg(120 + i).arg(64);
        device->m_osdDatePos = QStringLiteral("%1,%2").arg(1600).arg(980 - i);
        device->m_status = StatusQueryOk;
    }
    TickRows(page, { 3 });
    Type(page,
        { { "m_pEditChnName", QStringLiteral("Gate West 4") }, { "m_pEditXvalue", QStringLiteral("120") },
            { "m_pEditYValue", QStringLiteral("64") }, { "m_pEditDateXvalue", QStringLiteral("1600") },
            { "m_pEditdateYValue", QStringLiteral("980") } });
}

// Devices never logged into, a few of them ticked.
void FirstLoginListed(DevicePage* page, const QList<DeviceInfo*>& devices)
{
    for (DeviceInfo* device : devices)
        device->m_searchRsp.isFirstLogin = 1;
    page->RefreshDeviceList();
    TickRows(page, { 0, 2, 5 });
}

// One device ticked with its login; where the customer picks the groups,
// the group dialog is shown with the network group ticked (both ways of
// restoring it offered), saved and cancelled.
void RecoveryTicked(DevicePage* page, const QList<DeviceInfo*>&)
{
    TickRows(page, { 1 });
    Type(page, { { "m_pEditUserName", QStringLiteral("admin") }, { "m_pEditPassword", QStringLiteral("admin123") } });
    const int company = ZVAppSetting::Instance()->m_company;
    // Code 40 restores without asking: a click would start the batch.
    if (company != 0 && company != 45)
        return;
    const QString state = g_state;
    g_state = QStringLiteral("restore-defaults dialog");
    bool shown = false;
    const DefaultSelection::ShownHook previous = DefaultSelection::SetShownHook([&](DefaultSelection* dialog) {
        shown = true;
        WaitFor([&] { return dialog->windowHandle() && dialog->windowHandle()->isExposed(); }, "the dialog");
        auto* network = dialog->findChild<QCheckBox*>(QStringLiteral("m_cHttpNetwork"));
        if (network && network->isVisible() && !network->isChecked())
            network->click();
        Settle(dialog);
        CheckWindow(dialog);
        SaveWindow(dialog, g_stem + QStringLiteral("-defaults.png"));
        if (auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("m_bCancel")))
            cancel->click();
        else
            dialog->reject();
    });
    if (auto* recover = page->findChild<QPushButton*>(QStringLiteral("m_pBtnRecover")))
        recover->click();
    DefaultSelection::SetShownHook(previous);
    if (!shown)
        Problem(QStringLiteral("the dialog did not show"));
    g_state = state;
}

// One operation page to render: its stack index, the tool-bar button that
// opens it, the pictures' name and what puts it in a representative state
// (the listed devices' statuses, the user's input); none leaves it as opened.
struct PageShot
{
    PageIndex index;
    ToolBarFrame::PageButton button;
    const char* name;
    void (*setUp)(DevicePage* page, const QList<DeviceInfo*>& devices);
};

const PageShot kPageShots[] = {
    { PageUpgrade, ToolBarFrame::ButtonUpgrade, "upgrade", UpgradeMidBatch },
    { PageImportExport, ToolBarFrame::ButtonImportExport, "importexport", ExportedSome },
    { PageExportExcel, ToolBarFrame::ButtonExportExcel, "excel", nullptr },
    { PageRebootDevice, ToolBarFrame::ButtonRebootDevice, "reboot", RebootMidBatch },
    { PageChangeDevice, ToolBarFrame::ButtonChangeDevice, "changedevice", ChangeMidBatch },
    { PageDeviceInfo, ToolBarFrame::ButtonDeviceInfo, "deviceinfo", DeviceInfoFilled },
    { PageRecoveryDevice, ToolBarFrame::ButtonRecoveryDevice, "recovery", RecoveryTicked },
    { PageInitialDevice, ToolBarFrame::ButtonInitialDevice, "initial", FirstLoginListed },
    { PageChangePassword, ToolBarFrame::ButtonChangePassword, "password", PasswordsTyped },
    { PageStreamConfig, ToolBarFrame::ButtonStreamConfig, "stream", StreamQueried },
    { PageOSDConfig, ToolBarFrame::ButtonOSDConfig, "osd", OsdQueried },
};

// Each operation page the customer is offered, opened by its tool-bar button
// with the 20 listed devices, at 1920x1080 and at the minimum size.
void RenderPages(MainFrame* window, const QString& stem)
{
    const bool range = IsHttpApiCompany(ZVAppSetting::Instance()->m_company);
    // The range scene's search left its own list; the pages show the 20.
    if (range)
        ListDevices(window);
    DeviceInfoMng* listed = DeviceInfoMng::Instance();
    const QList<DeviceInfo*> devices = range ? listed->m_extranetDevices : listed->m_lanDevices;
    for (const PageShot& shot : kPageShots) {
        QPushButton* button = window->ToolBar()->Button(shot.button);
        if (!button || !button->isVisible())
            continue;
        g_state = QLatin1String(shot.name) + QStringLiteral(" page");
        auto* page = qobject_cast<DevicePage*>(window->Page(shot.index));
        if (!page) {
            Problem(QStringLiteral("no such page"));
            continue;
        }
        if (!WaitFor([&] { return button->isEnabled(); }, "an unlocked tool bar"))
            continue;
        button->click();
        if (!WaitFor([&] { return page->isVisible(); }, "the page"))
            continue;
        page->RefreshDeviceList();
        // Set-ups may change the search records; later pages list them as found.
        QVector<SearchDevRsp> records;
        for (const DeviceInfo* device : devices)
            records << device->m_searchRsp;
        if (shot.setUp)
            shot.setUp(page, devices);
        for (DeviceInfo* device : devices)
            page->OnDeviceTaskFinished(device, false);
        const QList<QPair<QSize, const char*>> sizes
            = { { QSize(1920, 1080), "full" }, { window->minimumSize(), "min" } };
        for (const auto& size : sizes) {
            g_state = QStringLiteral("%1 page %2").arg(QLatin1String(shot.name), QLatin1String(size.second));
            if (!ResizeTo(window, size.first))
                continue;
            Settle(window);
            // The page itself; the window's bars are checked with the search page.
            CheckWindow(page);
            SaveWindow(
                window, QStringLiteral("%1-%2-%3.png").arg(stem, QLatin1String(shot.name), QLatin1String(size.second)));
        }
        if (range)
            listed->ResetExtranetDeviceStatus();
        else
            listed->ResetLanDeviceStatus();
        for (int i = 0; i < devices.size(); ++i) {
            devices.at(i)->m_upgradeProgress = -1;
            devices.at(i)->m_searchRsp = records.at(i);
        }
    }
}

void Render(MainFrame* window, const QString& stem)
{
    g_state = QStringLiteral("start");
    // The SDK's range blocks end soon after their last request; the LAN
    // search's records are handed to the page directly.
    ZVSdkSetSearchWindow(400);
    WaitFor([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }, "the window");
    // Customers 20 and 40 start restored; the user maximises by the title bar.
    if (!window->IsMaximized())
        window->ToggleMaximized();
    WaitFor([&] { return window->size() == QSize(1920, 1080); }, "the maximised window");
    RenderSize(window, stem, QStringLiteral("1920x1080"));

    g_state = QStringLiteral("about box");
    ShowDialogOnce(stem + QStringLiteral("-about.png"), [&] { window->TitleBar()->ShowAboutWindow(); });
    g_state = QStringLiteral("query box");
    ShowDialogOnce(stem + QStringLiteral("-message.png"),
        [&] { ZVMessageBox::ShowMessage(window, LanguageText(51), LanguageText(6), 1, 2); });
    g_state = QStringLiteral("first-password box");
    ShowDialogOnce(stem + QStringLiteral("-firstpassword.png"), [&] { InitPwdBox::Ask(window); });

    if (auto* language = window->findChild<QToolButton*>(QStringLiteral("languagebutton"))) {
        g_state = QStringLiteral("language menu");
        QTimer::singleShot(0, window, [&] {
            QWidget* menu = nullptr;
            WaitFor(
                [&] {
                    menu = QApplication::activePopupWidget();
                    return menu && menu->windowHandle() && menu->windowHandle()->isExposed();
                },
                "the language menu");
            if (menu) {
                SaveWindow(menu, stem + QStringLiteral("-language.png"));
                menu->close();
            }
        });
        language->showMenu();
    }

    g_state = QStringLiteral("minimum size");
    const QSize minimum = window->minimumSize();
    std::printf("customer %d: minimum size %dx%d\n", int(ZVAppSetting::Instance()->m_company), minimum.width(),
        minimum.height());
    window->setGeometry(QRect(QPoint(0, 0), minimum));
    WaitFor([&] { return window->size() == minimum; }, "the minimum size");
    RenderSize(window, stem, QStringLiteral("minimum"));
    RenderPages(window, stem);
    window->close();
}

// A run in a named language: the search page at 1920x1080 and at the minimum
// size, then every other page checked at the minimum size.
void RenderLanguage(MainFrame* window, const QString& stem, const QString& language)
{
    g_state = QStringLiteral("start");
    if (ZVAppSetting::Instance()->CurrentLanguageFile() != language)
        Problem(QStringLiteral("started in %1").arg(ZVAppSetting::Instance()->CurrentLanguageFile()));
    ZVSdkSetSearchWindow(400);
    WaitFor([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }, "the window");
    if (!window->IsMaximized())
        window->ToggleMaximized();
    WaitFor([&] { return window->size() == QSize(1920, 1080); }, "the maximised window");
    const QList<QPair<QSize, QString>> sizes
        = { { QSize(1920, 1080), QStringLiteral("1920x1080") }, { window->minimumSize(), QStringLiteral("minimum") } };
    for (const auto& size : sizes) {
        g_state = size.second + QStringLiteral(" search page");
        if (!ResizeTo(window, size.first))
            continue;
        ListDevices(window);
        CheckOneDevice(window);
        Settle(window);
        CheckWindow(window);
        SaveWindow(window, QStringLiteral("%1-%2-search.png").arg(stem, size.second));
    }
    auto* stack = window->findChild<QStackedWidget*>();
    g_emptyLabelsShown = true;
    for (int page = 0; stack && page < stack->count(); ++page) {
        if (page == PageSearch)
            continue;
        g_state = QStringLiteral("minimum page %1").arg(page);
        stack->setCurrentIndex(page);
        Settle(window);
        CheckWindow(window);
    }
    window->close();
}
} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: devscan_screenshot CODE OUTPUT_DIR [LANGUAGE_FILE]\n");
        return 2;
    }
    const QByteArray code = argv[1];
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(outDir);
    const QString language = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    QString name = QStringLiteral("customer-%1").arg(QString::fromLatin1(code));
    if (!language.isEmpty())
        name += QLatin1Char('-') + language.section(QLatin1Char('.'), 0, 0);
    const QString stem = QDir(outDir).filePath(name);
    g_stem = stem;

    TestSupport::TemporarySettings settings;
    if (!language.isEmpty()) {
        const int cursel = TestSupport::ShippedLanguageIndex(language);
        if (cursel < 0) {
            std::fprintf(stderr, "%s is not a shipped language file\n", qPrintable(language));
            return 2;
        }
        settings.WriteConfig(TestSupport::ShippedConfig(code.toInt(), cursel));
    } else {
        // One block of 64 addresses at a time, each given the longest time there is.
        settings.WriteConfig("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config><Language cursel=\"0\">"
                             "<file name=\"ENU.xml\"/></Language><Company>"
            + code
            + "</Company><Version>V1.0.0</Version><RangeSearch concurrency=\"64\" timeout=\"60000\"/></config>\n");
    }

    StartupHooks hooks;
    hooks.windowShown = [&](QWidget* window) {
        QTimer::singleShot(0, window, [&, window] {
            if (language.isEmpty())
                Render(static_cast<MainFrame*>(window), stem);
            else
                RenderLanguage(static_cast<MainFrame*>(window), stem, language);
        });
    };
    const int result = RunDevscan(argc, argv, &hooks);
    for (const QString& problem : qAsConst(g_problems))
        std::fprintf(stderr, "customer %s: %s\n", code.constData(), qPrintable(problem));
    return result != 0 || !g_problems.isEmpty() ? 1 : 0;
}
