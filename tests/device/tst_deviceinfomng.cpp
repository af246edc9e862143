// The device list: what replacing a list frees, and that a device an
// operation still uses outlives the list until that operation has ended and
// its pages have heard so.

#include "DeviceFixtures.h"
#include "DeviceInfoMng.h"
#include "DeviceTasks.h"
#include "DispatchFixtures.h"
#include "FakeDevice.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVSdkConfig.h"

#include <QPointer>
#include <QtTest>

#include <memory>

using fakedevice::FakeDevice;
using namespace TestSupport;

namespace
{
const std::string kDeviceAddress = fakedevice::UniqueLoopbackPrefix() + "1";
const std::string kNobodyAddress = fakedevice::UniqueLoopbackPrefix() + "9";

// A page that reads the device it hears about, as the pages' tables do.
class ReadingListener : public DeviceTaskListener
{
public:
    void OnDeviceTaskFinished(DeviceInfo* device, bool finished) override
    {
        reports.append({ device->Ip(), finished, int(device->m_status) });
    }
    struct Report
    {
        QString ip;
        bool finished;
        int status;
    };
    QVector<Report> reports;
};

bool Refuse(void (*)(void*), void*, bool)
{
    return false;
}

enum class End
{
    Dispatch, // the connection result or the direct operation ends it
    Worker, // the held pool worker ends it with EndWorker
};
} // namespace

Q_DECLARE_METATYPE(End)

class TestDeviceInfoMng : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void replaceFreesEveryOldDeviceOnce_data();
    void replaceFreesEveryOldDeviceOnce();
    void setKeepsItsOwnCopy();
    void resetDeviceStatus_data();
    void resetDeviceStatus();
    void busyDeviceOutlivesItsList_data();
    void busyDeviceOutlivesItsList();
    void taskThatCannotBeQueuedLeavesTheDeviceIdle();

private:
    DeviceInfo* MakeDevice(const std::string& ip);

    std::unique_ptr<NumberedLanguageTexts> m_texts;
    std::unique_ptr<TaskPool> m_pool;
    std::unique_ptr<FakeDevice> m_device;
};

void TestDeviceInfoMng::initTestCase()
{
    m_texts = std::make_unique<NumberedLanguageTexts>();
    QCOMPARE(ZVNetInit(), 1);
    ZVSdkSetTimeouts(3000, 3000);
    // The network change goes where searches go: this test's loopback only.
    const char* const targets[] = { kDeviceAddress.c_str() };
    QCOMPARE(ZVSdkSetSearchTargets(targets, 1), 1);
    m_pool = std::make_unique<TaskPool>(4);
    m_device = std::make_unique<FakeDevice>(fakedevice::LoopbackDeviceState(kDeviceAddress, 1));
    QVERIFY(m_device->WaitListening());
}

void TestDeviceInfoMng::init()
{
    ZVAppSetting::Instance()->m_company = 0;
}

void TestDeviceInfoMng::cleanupTestCase()
{
    DeviceInfoMng::Instance()->ReplaceLanDevices({});
    DeviceInfoMng::Instance()->ReplaceExtranetDevices({});
    m_pool.reset();
    m_device.reset();
    ZVNetRelease();
}

DeviceInfo* TestDeviceInfoMng::MakeDevice(const std::string& ip)
{
    DeviceInfo* device = NewDevice(nullptr, QString::fromStdString(ip), QString(), 1, fakedevice::kDefaultTcpPort, 80);
    device->m_user = QStringLiteral("admin");
    device->m_password = QStringLiteral("admin123");
    return device;
}

void TestDeviceInfoMng::replaceFreesEveryOldDeviceOnce_data()
{
    QTest::addColumn<bool>("lan");
    QTest::newRow("LAN list") << true;
    QTest::newRow("range list") << false;
}

void TestDeviceInfoMng::replaceFreesEveryOldDeviceOnce()
{
    QFETCH(bool, lan);
    DeviceInfoMng* manager = DeviceInfoMng::Instance();
    QList<DeviceInfo*> devices;
    QVector<int> deleted(4, 0);
    for (int i = 0; i < 4; ++i) {
        devices << NewDevice(nullptr, QStringLiteral("10.0.0.%1").arg(i + 1));
        connect(devices.last(), &QObject::destroyed, this, [&deleted, i] { ++deleted[i]; });
    }
    DeviceInfo* kept = devices.at(2);
    lan ? manager->SetLanDevices(devices) : manager->SetExtranetDevices(devices);

    // A device that the new list holds again stays.
    lan ? manager->ReplaceLanDevices({ kept }) : manager->ReplaceExtranetDevices({ kept });
    QCOMPARE(deleted, (QVector<int> { 1, 1, 0, 1 }));
    QCOMPARE(lan ? manager->m_lanDevices : manager->m_extranetDevices, QList<DeviceInfo*> { kept });

    lan ? manager->ReplaceLanDevices({}) : manager->ReplaceExtranetDevices({});
    QCOMPARE(deleted, (QVector<int> { 1, 1, 1, 1 }));
    QVERIFY(manager->m_lanDevices.isEmpty());
    QVERIFY(manager->m_extranetDevices.isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(deleted, (QVector<int> { 1, 1, 1, 1 }));
}

void TestDeviceInfoMng::setKeepsItsOwnCopy()
{
    DeviceInfoMng* manager = DeviceInfoMng::Instance();
    QList<DeviceInfo*> devices { NewDevice(nullptr, QStringLiteral("10.0.0.1")) };
    manager->SetLanDevices(devices);
    DeviceInfo* other = NewDevice(nullptr, QStringLiteral("10.0.0.2"));
    devices.append(other);
    QCOMPARE(manager->m_lanDevices.size(), 1);
    // Set drops the old pointers without freeing them.
    QPointer<DeviceInfo> first = manager->m_lanDevices.first();
    manager->SetLanDevices({ other });
    QVERIFY(!first.isNull());
    delete first.data();
    manager->ReplaceLanDevices({});
}

void TestDeviceInfoMng::resetDeviceStatus_data()
{
    QTest::addColumn<bool>("range");
    QTest::newRow("LAN list") << false;
    QTest::newRow("range list") << true;
}

void TestDeviceInfoMng::resetDeviceStatus()
{
    QFETCH(bool, range);
    DeviceInfoMng* manager = DeviceInfoMng::Instance();
    const auto reset = [manager, range] {
        if (range)
            manager->ResetExtranetDeviceStatus();
        else
            manager->ResetLanDeviceStatus();
    };
    reset(); // empty: nothing to do
    QList<DeviceInfo*> devices;
    for (int status : { int(StatusOk), int(StatusWaiting), int(StatusRebootOk) }) {
        devices << NewDevice(nullptr, QStringLiteral("10.0.1.%1").arg(status));
        devices.last()->m_status = status;
    }
    // The other list keeps its statuses.
    DeviceInfo* other = NewDevice(nullptr, QStringLiteral("10.0.2.1"));
    other->m_status = StatusOk;
    manager->SetLanDevices(range ? QList<DeviceInfo*> { other } : devices);
    manager->SetExtranetDevices(range ? devices : QList<DeviceInfo*> { other });
    reset();
    for (DeviceInfo* device : qAsConst(devices))
        QCOMPARE(int(device->m_status), int(StatusNone));
    QCOMPARE(int(other->m_status), int(StatusOk));
    manager->ReplaceLanDevices({});
    manager->ReplaceExtranetDevices({});
}

void TestDeviceInfoMng::busyDeviceOutlivesItsList_data()
{
    QTest::addColumn<void*>("entry");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<End>("end");

    QTest::newRow("connection fails") << reinterpret_cast<void*>(&MatchVersionTask) << false << End::Dispatch;
    QTest::newRow("direct operation") << reinterpret_cast<void*>(&MatchVersionTask) << true << End::Dispatch;
    QTest::newRow("pool worker") << reinterpret_cast<void*>(&RebootTask) << true << End::Worker;
    QTest::newRow("network change") << reinterpret_cast<void*>(&ModifyNetworkTask) << true << End::Dispatch;
    QTest::newRow("nothing to restore") << reinterpret_cast<void*>(&RecoveryTask) << true << End::Dispatch;
    QTest::newRow("upgrade") << reinterpret_cast<void*>(&UpgradeTask) << true << End::Dispatch;
}

void TestDeviceInfoMng::busyDeviceOutlivesItsList()
{
    QFETCH(void*, entry);
    QFETCH(bool, reachable);
    QFETCH(End, end);

    // The dispatch's own pool workers are held, so the test ends them.
    TaskRecorder recorder(end == End::Worker ? nullptr : m_pool.get());
    ReadingListener page;
    DeviceInfo* device = MakeDevice(reachable ? kDeviceAddress : kNobodyAddress);
    device->m_resetMode = 7;
    device->m_pUpgradeFrame = &page;
    device->m_pRebootDevice = &page;
    device->m_pDeviceInfoFrame = &page; // the network change reports there
    QPointer<DeviceInfo> alive(device);
    DeviceInfoMng::Instance()->SetLanDevices({ device });

    auto* task = reinterpret_cast<void (*)(void*)>(entry);
    QVERIFY(QueueDeviceTask(task, device));
    QVERIFY(device->IsBusy());
    // A new search replaces the list while the operation runs.
    DeviceInfoMng::Instance()->ReplaceLanDevices({});
    QVERIFY(!alive.isNull());

    if (end == End::Worker) {
        // The entry connects; the worker the dispatch then queues is held.
        QCOMPARE(recorder.Tasks().size(), 1);
        OnOtherThread([&recorder] { recorder.RunHeld(); });
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Tasks().size() == 2, 8000);
        // A queued worker keeps the device: whatever was posted, deletions too, finds it still needed.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!alive.isNull());
        OnOtherThread([device] { device->EndWorker(StatusRebootFailed); });
    }
    // Every report reaches the page while the device still exists, and the
    // device goes once the last one has.
    QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 10000);
    QVERIFY(!page.reports.isEmpty());
    QCOMPARE(page.reports.last().ip, QString::fromStdString(reachable ? kDeviceAddress : kNobodyAddress));
    QVERIFY(page.reports.last().status != int(StatusWaiting));
    if (end == End::Worker) {
        QCOMPARE(page.reports.last().status, int(StatusRebootFailed));
        QVERIFY(!page.reports.last().finished);
    } else {
        QVERIFY(page.reports.last().finished);
    }
}

void TestDeviceInfoMng::taskThatCannotBeQueuedLeavesTheDeviceIdle()
{
    const QueueTaskFunction previous = SetQueueTaskFunction(&Refuse);
    DeviceInfo* device = MakeDevice(kNobodyAddress);
    QPointer<DeviceInfo> alive(device);
    QVERIFY(!QueueDeviceTask(&RebootTask, device));
    SetQueueTaskFunction(previous);
    QVERIFY(!device->IsBusy());
    DeviceInfoMng::Instance()->SetLanDevices({ device });
    DeviceInfoMng::Instance()->ReplaceLanDevices({});
    QVERIFY(alive.isNull());
}

QTEST_MAIN(TestDeviceInfoMng)
#include "tst_deviceinfomng.moc"
