// The stream, on-screen display and upgrade tables read while their workers
// run against fake devices: every visible cell, as the view reads it when it
// repaints, over and over until the batch has ended. Under the thread checker
// a value a worker writes where the table reads it is reported as a race.

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceTasks.h"
#include "OperationFixtures.h"

#include <QSortFilterProxyModel>
#include <QTemporaryDir>

#include <memory>
#include <vector>

using namespace TestSupport;

namespace
{
// What one listed device is asked to do, and the status it ends with.
struct Job
{
    void (*task)(void*);
    int endStatus;
};

const Job kJobs[] = {
    { &QueryStreamTask, StatusQueryOk },
    { &QueryStreamTask, StatusQueryOk },
    { &QueryOsdTask, StatusQueryOk },
    { &QueryOsdTask, StatusQueryOk },
    { &SetOsdTask, StatusOk },
    { &UpgradeTask, StatusUpgradeOk },
    { &UpgradeTask, StatusUpgradeOk },
};
constexpr int kJobCount = int(sizeof(kJobs) / sizeof(kJobs[0]));
constexpr int kFirstOctet = 20;

// A page's table, shown wide enough for every cell of every row.
struct ShownTable
{
    ShownTable(int kind, const QList<DeviceInfo*>& devices)
    {
        view = new CheckBoxTableView(&page);
        model = new CheckBoxTableModel(view, kind, 0);
        view->setModel(model->proxyModel(), 0);
        model->setDevices(devices);
        page.resize(1800, 420);
        view->resize(1800, 420);
        page.show();
    }

    // The display text of each cell the viewport shows, read as its
    // delegate reads it, then the viewport painted.
    int ReadVisibleCells() const
    {
        const QAbstractItemModel* shown = view->model();
        const QRect area = view->viewport()->rect();
        int cells = 0;
        for (int row = 0; row < shown->rowCount(); ++row) {
            for (int column = 0; column < shown->columnCount(); ++column) {
                const QModelIndex index = shown->index(row, column);
                if (!view->visualRect(index).intersects(area))
                    continue;
                for (int role : { int(Qt::DisplayRole), int(Qt::CheckStateRole), int(Qt::TextAlignmentRole) })
                    (void)index.data(role);
                ++cells;
            }
        }
        (void)view->viewport()->grab();
        return cells;
    }

    QString Cell(int row, int headerId) const
    {
        return model->data(model->index(row, model->columnOfHeader(headerId)), Qt::DisplayRole).toString();
    }

    QWidget page;
    CheckBoxTableView* view = nullptr;
    CheckBoxTableModel* model = nullptr;
};
} // namespace

class TestTablesDuringWorkers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void everyCellReadWhileWorkersRun_data();
    void everyCellReadWhileWorkersRun();

private:
    std::unique_ptr<OperationEnvironment> m_environment;
    QTemporaryDir m_dir;
};

void TestTablesDuringWorkers::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_environment = std::make_unique<OperationEnvironment>(6);
}

void TestTablesDuringWorkers::cleanupTestCase()
{
    m_environment.reset();
}

void TestTablesDuringWorkers::cleanup()
{
    ZVAppSetting::Instance()->m_company = 0;
}

void TestTablesDuringWorkers::everyCellReadWhileWorkersRun_data()
{
    QTest::addColumn<int>("company");
    QTest::newRow("SDK (code 0)") << 0;
    QTest::newRow("HTTP API (code 44)") << 44;
}

void TestTablesDuringWorkers::everyCellReadWhileWorkersRun()
{
    QFETCH(int, company);
    const bool http = company == 44;
    ZVAppSetting::Instance()->m_company = company;
    const QString firmware = m_dir.filePath(QStringLiteral("cam_v2.sw"));
    QVERIFY(WriteFile(firmware, RandomBytes(256 * 1024, 7)));

    std::vector<std::unique_ptr<FakeDevice>> sdk;
    std::vector<std::unique_ptr<FakeHttpApi>> web;
    QObject owner;
    QList<DeviceInfo*> devices;
    for (int i = 0; i < kJobCount; ++i) {
        const int octet = kFirstOctet + i + (http ? kJobCount : 0);
        DeviceInfo* device = nullptr;
        if (http) {
            web.push_back(HttpDevice(octet));
            QVERIFY(web.back());
            device = ListedHttpDevice(*web.back(), &owner);
        } else {
            sdk.push_back(SdkDevice(octet));
            QVERIFY(sdk.back());
            device = ListedDevice(sdk.back()->State(), &owner);
        }
        device->m_status = StatusNone;
        device->m_upgradeFilePath = firmware;
        device->SetOsdParams(15, 25, 500, 35, QStringLiteral("Gate"));
        device->SetDateTime(QDateTime::currentDateTime());
        devices << device;
    }
    ShownTable stream(TableKindStreamConfig, devices);
    ShownTable osd(TableKindOsdConfig, devices);
    ShownTable upgrade(TableKindUpgrade, devices);
    const ShownTable* tables[] = { &stream, &osd, &upgrade };
    QVERIFY(QTest::qWaitForWindowExposed(&upgrade.page));

    for (int i = 0; i < kJobCount; ++i)
        QVERIFY(QueueDeviceTask(kJobs[i].task, devices[i]));
    auto ended = [&] {
        for (const DeviceInfo* device : qAsConst(devices)) {
            if (device->IsBusy() || device->HasOffThreadWork() || device->m_bLogin)
                return false;
        }
        return true;
    };
    int readsWhileBusy = 0;
    int unreadTables = 0;
    const bool over = QTest::qWaitFor(
        [&] {
            for (const ShownTable* table : tables)
                unreadTables += table->ReadVisibleCells() > 0 ? 0 : 1;
            if (ended())
                return true;
            ++readsWhileBusy;
            return false;
        },
        60000);
    QVERIFY(over);
    QVERIFY(readsWhileBusy > 0);
    QCOMPARE(unreadTables, 0);
    QCoreApplication::sendPostedEvents();

    // Each row shows its device's end, and what the device holds.
    for (int i = 0; i < kJobCount; ++i) {
        DeviceInfo probe;
        probe.m_status = kJobs[i].endStatus;
        QCOMPARE(stream.Cell(i, 44), probe.StatusText());
    }
    const QString fps = http ? QString::number(web[0]->State().settings.streams["MainStream"].fps) : "25";
    const QString encodeType
        = http ? QString::fromStdString(web[0]->State().settings.streams["MainStream"].encodeType) : "H265";
    for (int row : { 0, 1 }) {
        QCOMPARE(stream.Cell(row, 176), fps);
        QCOMPARE(stream.Cell(row, 177), encodeType);
        QVERIFY(!stream.Cell(row, 181).isEmpty());
    }
    for (int row : { 2, 3 }) {
        QCOMPARE(osd.Cell(row, 182), QStringLiteral("CH1"));
        QCOMPARE(osd.Cell(row, 183), QStringLiteral("10,10"));
        QCOMPARE(osd.Cell(row, 184), QStringLiteral("400,10"));
    }
    // The set reached its device; over the HTTP API its row shows the new positions.
    if (http) {
        const fakedevice::HttpOsdSettings set = web[4]->State().settings.osd;
        QCOMPARE(set.name, std::string("Gate"));
        QCOMPARE(set.nameX, 15);
        QCOMPARE(set.dateX, 500);
        QCOMPARE(osd.Cell(4, 183), QStringLiteral("15,25"));
        QCOMPARE(osd.Cell(4, 184), QStringLiteral("500,35"));
        for (int i : { 5, 6 })
            QCOMPARE(web[size_t(i)]->State().settings.uploads.size(), size_t(1));
    } else {
        const fakedevice::DeviceState state = sdk[4]->State();
        const ZVNetOsdParam set = RecordFrom<ZVNetOsdParam>(state.params.at(ZVNET_PARAM_OSD));
        QCOMPARE(set.nameX, uint16_t(15));
        QCOMPARE(set.dateX, uint16_t(500));
        for (int i : { 5, 6 })
            QCOMPARE(sdk[size_t(i)]->Upgrades().size(), size_t(1));
    }
    for (const ShownTable* table : tables)
        table->model->setDevices({});
}

QTEST_MAIN(TestTablesDuringWorkers)
#include "tst_tablesduringworkers.moc"
