#pragma once

// What the operation page tests share: the pages' neighbours (tool bar, task
// pool, device list), devices listed as a search would list them, the file
// questions and message boxes answered, and the rows read and ticked through
// the real table view.

#include "CheckBoxHeaderView.h"
#include "CheckBoxTableDelegate.h"
#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceFixtures.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "DispatchFixtures.h"
#include "FakeDevice.h"
#include "FileDialogs.h"
#include "LineEdit.h"
#include "OperationFixtures.h"
#include "OperationPage.h"
#include "TaskPool.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "ZVAppSetting.h"
#include "ZVMessageBox.h"
#include "ZVNet.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QPair>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace PageTest
{
using namespace TestSupport;

// Answers the pages' file questions with a queued list of answers (an empty
// one cancels) and records each question.
class FileAnswers
{
public:
    FileAnswers()
    {
        m_previous = FileDialogs::SetAnswer([this](const FileDialogs::Question& question) {
            asked.append(question);
            if (whileOpen)
                whileOpen();
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
    }
    ~FileAnswers() { FileDialogs::SetAnswer(m_previous); }

    QStringList answers;
    QList<FileDialogs::Question> asked;
    // Runs while a question is open, before it is answered.
    std::function<void()> whileOpen;

private:
    FileDialogs::Answer m_previous;
};

// The pool and how it is fed: held tasks stay queued until the test ends them.
class PoolBench
{
public:
    explicit PoolBench(bool holdTasks, int threads = 6)
    {
        m_pool = std::make_unique<TaskPool>(threads);
        m_recorder = std::make_unique<TaskRecorder>(holdTasks ? nullptr : m_pool.get());
    }
    ~PoolBench()
    {
        m_recorder.reset();
        m_pool.reset();
    }
    TaskRecorder& Recorder() { return *m_recorder; }

private:
    std::unique_ptr<TaskPool> m_pool;
    std::unique_ptr<TaskRecorder> m_recorder;
};

// Ends a held task's operation from another thread as a worker would.
inline void EndHeld(DeviceInfo* device, int status)
{
    OnOtherThread([device, status] {
        PostDeviceEvent(device, new QDeviceCallEvent([device, status] {
            device->m_status = status;
            device->EndOperation(true);
        }));
    });
}

// A held task ends as a pool worker ends it: the device stays in the page's
// working list, only its row and its use end.
inline void EndHeldRunning(DeviceInfo* device, int status)
{
    OnOtherThread([device, status] {
        PostDeviceEvent(device, new QDeviceCallEvent([device, status] {
            device->m_status = status;
            device->EndOperation(false);
        }));
    });
}

// The list the pages show becomes devices (DeviceInfoMng owns them) and the
// page lists it: the LAN list, or the range list for the HTTP API customers.
inline void ReplacePagesList(const QList<DeviceInfo*>& devices)
{
    if (IsHttpApiCompany(ZVAppSetting::Instance()->m_company))
        DeviceInfoMng::Instance()->ReplaceExtranetDevices(devices);
    else
        DeviceInfoMng::Instance()->ReplaceLanDevices(devices);
}

inline void ListDevices(DevicePage& page, const QList<DeviceInfo*>& devices)
{
    ReplacePagesList(devices);
    page.RefreshDeviceList();
}

inline void ClearDevices(DevicePage& page)
{
    page.ClearDeviceList();
    ReplacePagesList({});
}

// Reading and ticking a page's table as a user sees it.
struct Table
{
    explicit Table(CheckBoxTableView* tableView)
        : view(tableView)
    {
    }

    QAbstractItemModel* Model() const { return view->model(); }
    int Rows() const { return Model()->rowCount(); }
    QString Cell(int row, int column) const { return Model()->index(row, column).data().toString(); }
    // The status column, found by its header.
    int StatusColumn() const { return CheckBoxTableModel::FromViewModel(Model())->columnOfHeader(44); }
    QString Status(int row) const { return Cell(row, StatusColumn()); }
    QStringList Statuses() const
    {
        QStringList texts;
        for (int row = 0; row < Rows(); ++row)
            texts << Status(row);
        return texts;
    }
    QRect CellRect(int row, int column) const { return view->visualRect(Model()->index(row, column)); }
    void ClickCell(int row, int column)
    {
        view->scrollTo(Model()->index(row, column));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, CellRect(row, column).center());
    }
    void ClickCheckBox(int row) { TestSupport::ClickCheckBox(view, row); }
    // Ticks every row through the header's check-all box.
    void CheckAll()
    {
        CheckBoxHeaderView* header = view->checkBoxHeader();
        QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier, header->boxRect(0).center());
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, Qt::NoModifier, header->boxRect(0).center());
    }

    CheckBoxTableView* view;
};

// What a table view shows of its rows: the text each cell had when the view
// last painted it, and, for the watched columns, the text a cell had each
// time the view's own model told the view of it (in a shown column only: a
// change told for a hidden column repaints nothing). The view gets a delegate
// of the pages' own kind that notes each cell it paints.
class ViewWatch
{
public:
    ViewWatch(CheckBoxTableView* view, const QVector<int>& columns)
        : m_view(view)
        , m_recorder(new Recorder(view))
    {
        view->setItemDelegate(m_recorder);
        QObject::connect(view->model(), &QAbstractItemModel::dataChanged, &m_context,
            [this, columns](const QModelIndex& from, const QModelIndex& to) {
                for (int column : columns) {
                    if (column < from.column() || column > to.column() || m_view->isColumnHidden(column))
                        continue;
                    for (int row = from.row(); row <= to.row(); ++row) {
                        const QString text = m_view->model()->index(row, column).data().toString();
                        QStringList& told = m_told[{ row, column }];
                        if (told.isEmpty() || told.constLast() != text)
                            told << text;
                    }
                }
            });
    }

    QString Painted(int row, int column) const { return m_recorder->painted.value({ row, column }); }
    QStringList Told(int row, int column) const { return m_told.value({ row, column }); }
    QString LastTold(int row, int column) const
    {
        const QStringList told = Told(row, column);
        return told.isEmpty() ? QString() : told.constLast();
    }
    // Until the view has painted the cell with text.
    bool WaitPainted(int row, int column, const QString& text) const
    {
        if (QTest::qWaitFor([&] { return Painted(row, column) == text; }, 30000))
            return true;
        qWarning().noquote() << "row" << row << "column" << column << "painted" << Painted(row, column) << "instead of"
                             << text;
        return false;
    }
    // The cell holds text, the view was last told of it with text, and
    // paints it.
    bool Shows(int row, int column, const QString& text) const
    {
        const QString held = m_view->model()->index(row, column).data().toString();
        if (held != text || LastTold(row, column) != text) {
            qWarning().noquote() << "row" << row << "column" << column << "holds" << held << "told"
                                 << Told(row, column).join(QLatin1Char(',')) << "instead of" << text;
            return false;
        }
        return WaitPainted(row, column, text);
    }

private:
    class Recorder : public CheckBoxTableDelegate
    {
    public:
        explicit Recorder(QObject* parent)
            : CheckBoxTableDelegate(0, -1, parent)
        {
        }
        void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
        {
            QStyleOptionViewItem shown(option);
            initStyleOption(&shown, index);
            painted[{ index.row(), index.column() }] = shown.text;
            CheckBoxTableDelegate::paint(painter, option, index);
        }
        mutable QHash<QPair<int, int>, QString> painted;
    };

    CheckBoxTableView* m_view;
    Recorder* m_recorder;
    QObject m_context;
    QHash<QPair<int, int>, QStringList> m_told;
};

// This test process's own loopback addresses; n from 1 to 253.
inline std::string Loopback(int n)
{
    return fakedevice::UniqueLoopbackPrefix() + std::to_string(n);
}

// Fake devices of one protocol (the SDK's, or the HTTP JSON API's), one at
// each address, all listening, and what each holds of its login.
struct FakeFleet
{
    FakeFleet(bool httpApi, const std::vector<std::string>& addresses)
        : http(httpApi)
        , wanted(addresses.size())
    {
        if (http)
            web = fakedevice::MakeHttpDevices(addresses, 0);
        else
            sdk = fakedevice::MakeDevices(addresses);
    }
    size_t Size() const { return http ? web.size() : sdk.size(); }
    // Every address has its device, and each one listens.
    bool Listening() const
    {
        if (Size() != wanted)
            return false;
        if (http)
            return !web.empty() && std::all_of(web.cbegin(), web.cend(), [](const auto& d) { return d->Listening(); });
        return !sdk.empty() && std::all_of(sdk.cbegin(), sdk.cend(), [](const auto& d) { return d->WaitListening(); });
    }
    // The i-th device holds another password than the pages log in with.
    void Refuse(size_t i)
    {
        if (http)
            web[i]->Update([](fakedevice::HttpDeviceState& state) { state.password = "other"; });
        else
            sdk[i]->SetPassword("other");
    }
    // The devices as a search lists them, with no status yet.
    QList<DeviceInfo*> Listed() const
    {
        QList<DeviceInfo*> devices;
        for (size_t i = 0; i < Size(); ++i) {
            DeviceInfo* device = http ? ListedHttpDevice(*web[i]) : ListedDevice(sdk[i]->State());
            device->m_status = StatusNone;
            devices << device;
        }
        return devices;
    }
    std::string Password(size_t i) const { return http ? web[i]->State().password : sdk[i]->Password(); }
    int Sessions(size_t i) const { return http ? web[i]->Sessions() : sdk[i]->LoggedInSessions(); }

    const bool http;
    const size_t wanted;
    std::vector<std::unique_ptr<fakedevice::FakeDevice>> sdk;
    std::vector<std::unique_ptr<fakedevice::FakeHttpApi>> web;
};

// Devices as a search would list them at this process's loopback addresses
// from 200 on, named cam0, cam1, ...; the device list owns them once listed.
inline QList<DeviceInfo*> LoopbackDevices(int count)
{
    QList<DeviceInfo*> devices;
    for (int i = 0; i < count; ++i)
        devices << NewDevice(nullptr, QString::fromStdString(Loopback(200 + i)), QStringLiteral("cam%1").arg(i));
    return devices;
}

// The default login the pages fill their edits with, for the object's life.
struct DefaultLogin
{
    DefaultLogin(const QString& user, const QString& password)
    {
        ZVAppSetting::Instance()->m_defaultUser = user;
        ZVAppSetting::Instance()->m_defaultPassword = password;
    }
    ~DefaultLogin()
    {
        ZVAppSetting::Instance()->m_defaultUser.clear();
        ZVAppSetting::Instance()->m_defaultPassword.clear();
    }
};

// The text a row shows for a status.
inline QString StatusTextOf(int status)
{
    DeviceInfo device;
    device.m_status = status;
    return device.StatusText();
}

// A page with its tool bar, shown, built under the customer code; it lists
// nothing when it goes.
template <typename PageType> struct PageOf
{
    explicit PageOf(int company, QSize size = QSize(1500, 600))
        : table(nullptr)
    {
        ZVAppSetting::Instance()->m_company = company;
        page = std::make_unique<PageType>();
        page->m_pToolBarFrame = &toolBar;
        page->resize(size);
        page->show();
        table.view = page->template findChild<CheckBoxTableView*>(QStringLiteral("m_pDeviceTableView"));
    }
    ~PageOf()
    {
        ClearDevices(*page);
        page.reset();
    }

    template <typename T> T* Find(const char* name) const { return page->template findChild<T*>(QLatin1String(name)); }
    void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
    void SetText(const char* name, const QString& text) { Find<LineEdit>(name)->setText(text); }
    void Login(const QString& user, const QString& password)
    {
        SetText("m_pEditUserName", user);
        SetText("m_pEditPassword", password);
    }

    ToolBarFrame toolBar;
    std::unique_ptr<PageType> page;
    Table table;
};

inline QString Text(int id)
{
    return QStringLiteral("T%1").arg(id);
}

// A dialog as DialogAnswerer saw it: text and title ids, buttons and icon.
inline bool ShowedRefusal(const DialogAnswerer& dialogs, int textId, int titleId)
{
    if (dialogs.Dialogs().size() != 1)
        return false;
    const DialogAnswerer::Shown& shown = dialogs.Dialogs().constFirst();
    return shown.text == Text(textId) && shown.title == Text(titleId) && shown.buttonMode == 0 && shown.iconMode == 2;
}

inline bool ShowedQuery(const DialogAnswerer& dialogs, int textId, int titleId)
{
    if (dialogs.Dialogs().size() != 1)
        return false;
    const DialogAnswerer::Shown& shown = dialogs.Dialogs().constFirst();
    return shown.text == Text(textId) && shown.title == Text(titleId) && shown.buttonMode == 1 && shown.iconMode == 0;
}

// The fleet listed on the page as a search lists it; the refusing device
// then holds another password.
inline QList<DeviceInfo*> ListFleet(DevicePage& page, FakeFleet& fleet, size_t refusing)
{
    const QList<DeviceInfo*> devices = fleet.Listed();
    fleet.Refuse(refusing);
    ListDevices(page, devices);
    return devices;
}

// Until each of the rows shows its device's end: failedStatus on the failing
// row, okStatus on the others.
inline bool RowsEnd(
    const Table& table, size_t rows, size_t failing, int okStatus, int failedStatus = StatusConnectFailed)
{
    QStringList want;
    for (size_t row = 0; row < rows; ++row)
        want << StatusTextOf(row == failing ? failedStatus : okStatus);
    if (QTest::qWaitFor([&] { return table.Statuses() == want; }, 30000))
        return true;
    qWarning().noquote() << "rows show" << table.Statuses().join(QLatin1String(", ")) << "instead of"
                         << want.join(QLatin1String(", "));
    return false;
}

// Nothing a refused click could have started: once what it posted has run,
// no task is queued and the busy poll, on the pages that have one, is still.
inline bool NothingStarted(PoolBench& pool, const OperationPage& page)
{
    QCoreApplication::sendPostedEvents();
    return pool.Recorder().Tasks().isEmpty() && !(page.BusyTimer() && page.BusyTimer()->isActive());
}

// A timer page's batch under way: its busy poll ticks every second.
inline bool PollRunning(const OperationPage& page)
{
    return page.BusyTimer() && page.BusyTimer()->isActive() && page.BusyTimer()->interval() == 1000;
}

// Ends each held task's operation with status; true once the page has come
// back and its batch is over.
template <typename Page> bool EndHeldBatch(const Page& page, const QList<DeviceInfo*>& devices, int status)
{
    for (DeviceInfo* device : devices)
        EndHeld(device, status);
    return QTest::qWaitFor([&page] { return page.Unlocked() && !page.page->IsBatchRunning(); }, 5000);
}

// A benchmark's numeric option: the value after name on the command line.
inline int BenchOption(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    }
    return fallback;
}

inline bool ToolBarEnabled(const ToolBarFrame& toolBar)
{
    return toolBar.Button(ToolBarFrame::ButtonUpgrade)->isEnabled();
}

// Every row of a timer page ticked through the header and its query button
// ("m_pBtnQuery") clicked, logged in as the fleet's devices want; true once
// the page has come back.
template <typename Page> bool QueryEveryRow(Page& page, const FakeFleet& fleet)
{
    page.Login(QStringLiteral("admin"), QString::fromStdString(fleet.Password(0)));
    page.table.CheckAll();
    page.Click("m_pBtnQuery");
    return QTest::qWaitFor([&page] { return page.Unlocked(); }, 30000);
}

// What every page test's process holds: numbered texts, the SDK up with
// short time-outs, a folder for the files it writes; each case leaves the
// customer code and the default login as it found them.
class PageTestCase : public QObject
{
    Q_OBJECT

protected slots:
    void initTestCase()
    {
        LoadNumberedTexts();
        QVERIFY(m_dir.isValid());
        QCOMPARE(ZVNetInit(), 1);
        ZVSdkSetTimeouts(3000, 3000);
    }
    void cleanup()
    {
        ZVAppSetting::Instance()->m_company = 0;
        ZVAppSetting::Instance()->m_defaultUser.clear();
        ZVAppSetting::Instance()->m_defaultPassword.clear();
    }
    void cleanupTestCase() { ZVNetRelease(); }

protected:
    QTemporaryDir m_dir;
};
} // namespace PageTest
