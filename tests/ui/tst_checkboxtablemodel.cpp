#include "CheckBoxTableModel.h"
#include "DeviceFixtures.h"
#include "UiTestSupport.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBrush>
#include <QLabel>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QtTest>

using TestSupport::NewDevice;

namespace
{
using Ids = QVector<int>;

Qt::CheckState LastHeaderState(const QSignalSpy& spy)
{
    return spy.isEmpty() ? Qt::CheckState(-1) : spy.last().at(0).value<Qt::CheckState>();
}

QStringList Ips(const QList<DeviceInfo*>& devices)
{
    QStringList ips;
    for (const DeviceInfo* device : devices)
        ips << device->Ip();
    return ips;
}

} // namespace

class TestCheckBoxTableModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<Qt::CheckState>(); }
    void init();
    void headerIds_data();
    void headerIds();
    void cellsByRole();
    void manufacturerStandsForTheNameOfSingleChannelDevices_data();
    void manufacturerStandsForTheNameOfSingleChannelDevices();
    void kindsKeepOnlyTheirDevices();
    void indexesAndFlags();
    void numbersStayWithTheirDevicesWhenSorted();
    void checkStatesCountOnlyFilteredInRows();
    void checkAllTouchesOnlyVisibleRows();
    void filterSetOnTheProxyIsFollowedToo();
    void checkStatesArePerKind();
    void httpsStatesOnlyForSearchTables();
    void filterLandsOnTheChosenHeader_data();
    void filterLandsOnTheChosenHeader();
    void headerNotShownFiltersNothingOut();
    void sameNameRule();
    void refreshingARowDoesNotResetTheModel();
    void clearEmptiesTheTableAndTheHeader();
    void removeDeviceRemovesItsRow();
    void languageChangeRelabelsAndKeepsRows();
    void proxySignalsStayConsistent();

private:
    TestSupport::NumberedLanguageTexts m_texts;
};

void TestCheckBoxTableModel::init()
{
    ZVAppSetting::Instance()->m_company = 0;
}

void TestCheckBoxTableModel::headerIds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("company");
    QTest::addColumn<Ids>("ids");

    const Ids search = { 31, 32, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
    QTest::newRow("search, 31") << 0 << 31 << Ids { 31, 32, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
    for (int code : { 20, 42 })
        QTest::addRow("search, %d", code)
            << 0 << code << Ids { 31, 32, 158, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
    QTest::newRow("search, 34") << 0 << 34 << Ids { 31, 32, 44, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127 };
    QTest::newRow("search, 40") << 0 << 40 << Ids { 31, 191, 33, 42, 60, 190, 36, 44 };
    QTest::newRow("search, 41") << 0 << 41 << Ids { 31, 32, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 192, 44 };
    for (int code : { 43, 44 })
        QTest::addRow("search, %d", code)
            << 0 << code << Ids { 31, 32, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 198, 44 };
    for (int code : { 0, 7, 45 })
        QTest::addRow("search, %d", code) << 0 << code << search;

    QTest::newRow("upgrade, 31") << 1 << 31 << Ids { 31, 32, 34, 60, 36, 44, 142, 145 };
    for (int code : { 20, 42 })
        QTest::addRow("upgrade, %d", code) << 1 << code << Ids { 31, 32, 33, 34, 60, 36, 39, 44, 142, 145 };
    QTest::newRow("upgrade, 34") << 1 << 34 << Ids { 31, 32, 44, 33, 34, 60, 36, 39, 142, 145 };
    QTest::newRow("upgrade, 40") << 1 << 40 << Ids { 31, 191, 33, 60, 190, 36, 44 };
    for (int code : { 43, 44 })
        QTest::addRow("upgrade, %d", code) << 1 << code << Ids { 31, 191, 42, 60, 190, 36, 44 };
    QTest::newRow("upgrade, 0") << 1 << 0 << Ids { 31, 32, 33, 34, 60, 36, 44, 142, 145 };

    for (int code : { 43, 44 })
        QTest::addRow("device info, %d", code) << 2 << code << Ids { 31, 32, 42, 34, 39, 44 };
    QTest::newRow("device info, 0") << 2 << 0 << Ids { 31, 32, 33, 34, 39, 44 };

    for (int kind : { 3, 4, 11 }) {
        QTest::addRow("kind %d, 43", kind) << kind << 43 << Ids { 31, 32, 42, 34, 60, 36, 44 };
        QTest::addRow("kind %d, 44", kind) << kind << 44 << Ids { 31, 32, 42, 34, 60, 36, 44 };
        QTest::addRow("kind %d, 16", kind) << kind << 16 << Ids { 31, 32, 33, 34, 60, 36, 44 };
    }

    QTest::newRow("excel, 43") << 5 << 43 << Ids { 31, 32, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
    QTest::newRow("excel, 37") << 5 << 37 << search;
    QTest::newRow("range search, 44") << 6 << 44 << Ids { 31, 32, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
    QTest::newRow("range search, 20") << 6 << 20
                                      << Ids { 31, 32, 158, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
    QTest::newRow("range search, 0") << 6 << 0 << Ids { 31, 32, 158, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
    for (int code : { 0, 43 })
        QTest::addRow("stream, %d", code) << 7 << code << Ids { 31, 32, 34, 60, 35, 175, 176, 177, 181, 44 };
    QTest::newRow("osd, 43") << 8 << 43 << Ids { 31, 32, 42, 34, 60, 36, 182, 183, 184, 44 };
    QTest::newRow("osd, 0") << 8 << 0 << Ids { 31, 32, 33, 34, 60, 36, 182, 183, 184, 44 };
    for (int code : { 0, 45 })
        QTest::addRow("recovery, %d", code) << 9 << code << Ids { 31, 32, 33, 34, 60, 36, 44 };
    QTest::newRow("recovery, 40") << 9 << 40 << Ids { 31, 32, 33, 60, 36, 44 };
    for (int code : { 9, 10, 43 })
        QTest::addRow("recovery, %d", code) << 9 << code << Ids {};
    for (int code : { 43, 44 })
        QTest::addRow("initial, %d", code) << 10 << code << Ids { 31, 32, 42, 34, 60, 36, 198, 44 };
    QTest::newRow("initial, 0") << 10 << 0 << Ids {};
    QTest::newRow("change device, 40") << 12 << 40 << Ids { 31, 32, 33, 60, 35, 36, 44 };
    QTest::newRow("change device, 0") << 12 << 0 << Ids { 31, 32, 33, 34, 60, 35, 36, 44 };
    QTest::newRow("kind 13") << 13 << 0 << Ids {};
    QTest::newRow("kind -1") << -1 << 0 << Ids {};
}

void TestCheckBoxTableModel::headerIds()
{
    QFETCH(int, kind);
    QFETCH(int, company);
    QFETCH(Ids, ids);

    ZVAppSetting::Instance()->m_company = company;
    CheckBoxTableModel model(nullptr, kind, 0);
    QCOMPARE(model.headerTextIds(), ids);
    QCOMPARE(model.columnCount(), ids.size());
    for (int column = 0; column < ids.size(); ++column)
        QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), QStringLiteral("T%1").arg(ids.at(column)));
    QVERIFY(!model.headerData(ids.size(), Qt::Horizontal).isValid());
    QCOMPARE(model.headerData(-1, Qt::Horizontal).toString(), QString());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
}

void TestCheckBoxTableModel::cellsByRole()
{
    QObject owner;
    DeviceInfo* device = NewDevice(&owner, "10.1.2.3", "Lobby", 4, 9001, 8081);
    CopyLatin1("IPC-X", device->m_searchRsp.deviceType);
    CopyLatin1("V1.2", device->m_searchRsp.deviceVersion);
    CopyLatin1("10.1.2.254", device->m_searchRsp.gateway);
    CopyLatin1("P2P77", device->m_searchRsp.p2pId);
    device->m_status = StatusUpgrading;
    device->m_upgradeProgress = 40;

    CheckBoxTableModel model(nullptr, TableKindSearch, 0);
    model.setDevices({ NewDevice(&owner, "10.1.2.1"), device });
    const auto cell = [&](int column, int role = Qt::DisplayRole) { return model.index(1, column).data(role); };
    QCOMPARE(cell(0), QVariant(2));
    QCOMPARE(cell(1), QVariant(QStringLiteral("10.1.2.3")));
    QCOMPARE(cell(2), QVariant(9001));
    QCOMPARE(cell(3), QVariant(8081));
    QCOMPARE(cell(4), QVariant(4));
    QCOMPARE(cell(5), QVariant(QStringLiteral("Lobby")));
    QCOMPARE(cell(6), QVariant(QStringLiteral("IPC-X")));
    QCOMPARE(cell(7), QVariant(QStringLiteral("V1.2")));
    QCOMPARE(cell(8), QVariant(QStringLiteral("255.255.255.0")));
    QCOMPARE(cell(9), QVariant(QStringLiteral("10.1.2.254")));
    QCOMPARE(cell(10), QVariant(QStringLiteral("AA:BB:CC:00:00:01")));
    QCOMPARE(cell(11), QVariant(QStringLiteral("T58")));
    QCOMPARE(cell(12), QVariant(QStringLiteral("P2P77")));
    QCOMPARE(cell(13), QVariant(QStringLiteral("T2740")));

    QCOMPARE(cell(5, Qt::TextAlignmentRole), QVariant(int(Qt::AlignCenter)));
    QCOMPARE(cell(1, Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 255));
    QVERIFY(!cell(2, Qt::ForegroundRole).isValid());
    QVERIFY(!cell(0, Qt::CheckStateRole).isValid());
    QVERIFY(!cell(0, Qt::ToolTipRole).isValid());
    QVERIFY(!cell(3, Qt::BackgroundRole).isValid());
    model.setHoverRow(1);
    QCOMPARE(cell(3, Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 255, 255));
    QVERIFY(!model.index(0, 3).data(Qt::BackgroundRole).isValid());

    ZVAppSetting::Instance()->m_company = 45;
    QCOMPARE(cell(1, Qt::ForegroundRole).value<QColor>(), QColor(242, 110, 44));

    // Query results of the other tables.
    ZVAppSetting::Instance()->m_company = 34;
    CheckBoxTableModel upgrade(nullptr, TableKindUpgrade, 0);
    device->m_deviceVersionText = "v9";
    device->m_matchVersion = "V9";
    upgrade.setDevices({ device });
    QCOMPARE(upgrade.index(0, 7).data(), QVariant(QStringLiteral("AA:BB:CC:00:00:01")));
    QCOMPARE(upgrade.index(0, 8).data(), QVariant(QStringLiteral("v9")));
    QCOMPARE(upgrade.index(0, 9).data(), QVariant(QStringLiteral("T146")));

    ZVAppSetting::Instance()->m_company = 0;
    device->m_searchRsp.channelCount = 1;
    device->m_resolutionText = "1920*1080";
    device->m_fpsText = "25";
    device->m_encodeTypeText = "H265";
    device->m_customBitrate = 4096;
    CheckBoxTableModel stream(nullptr, TableKindStreamConfig, 0);
    stream.setDevices({ device });
    QCOMPARE(stream.index(0, 5).data(), QVariant(QStringLiteral("1920*1080")));
    QCOMPARE(stream.index(0, 6).data(), QVariant(QStringLiteral("25")));
    QCOMPARE(stream.index(0, 7).data(), QVariant(QStringLiteral("H265")));
    QCOMPARE(stream.index(0, 8).data(), QVariant(4096));

    device->m_osdChannelName = "Door";
    device->m_osdNamePos = "10,20";
    device->m_osdDatePos = "30,40";
    CheckBoxTableModel osd(nullptr, TableKindOsdConfig, 0);
    osd.setDevices({ device });
    QCOMPARE(osd.index(0, 6).data(), QVariant(QStringLiteral("Door")));
    QCOMPARE(osd.index(0, 7).data(), QVariant(QStringLiteral("10,20")));
    QCOMPARE(osd.index(0, 8).data(), QVariant(QStringLiteral("30,40")));

    ZVAppSetting::Instance()->m_company = 41;
    device->m_searchRsp.year = 2021;
    device->m_searchRsp.month = 3;
    device->m_searchRsp.day = 5;
    CheckBoxTableModel dated(nullptr, TableKindSearch, 0);
    dated.setDevices({ device });
    QCOMPARE(dated.index(0, 13).data(), QVariant(QStringLiteral("2021-3-5")));

    ZVAppSetting::Instance()->m_company = 43;
    CheckBoxTableModel initial(nullptr, TableKindInitial, 0);
    device->m_searchRsp.isFirstLogin = 1;
    initial.setDevices({ device });
    QCOMPARE(initial.index(0, 6).data(), QVariant(false));
}

void TestCheckBoxTableModel::manufacturerStandsForTheNameOfSingleChannelDevices_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("company");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("name");
    QTest::newRow("search, 7, one channel") << 0 << 7 << 1 << "Maker";
    QTest::newRow("excel, 7, one channel") << 5 << 7 << 1 << "Maker";
    QTest::newRow("search, 7, four channels") << 0 << 7 << 4 << "Hall";
    QTest::newRow("search, 0, one channel") << 0 << 0 << 1 << "Hall";
    QTest::newRow("upgrade, 7, one channel") << 1 << 7 << 1 << "Hall";
}

void TestCheckBoxTableModel::manufacturerStandsForTheNameOfSingleChannelDevices()
{
    QFETCH(int, kind);
    QFETCH(int, company);
    QFETCH(int, channels);
    QFETCH(QString, name);
    ZVAppSetting::Instance()->m_company = company;
    QObject owner;
    DeviceInfo* device = NewDevice(&owner, "10.0.0.1", "Hall", channels);
    CopyLatin1("Maker", device->m_searchRsp.manufacture);
    CheckBoxTableModel model(nullptr, kind, 0);
    model.setDevices({ device });
    QCOMPARE(model.index(0, model.columnOfHeader(60)).data().toString(), name);
}

void TestCheckBoxTableModel::kindsKeepOnlyTheirDevices()
{
    ZVAppSetting::Instance()->m_company = 43;
    QObject owner;
    DeviceInfo* one = NewDevice(&owner, "10.0.0.1", "", 1);
    DeviceInfo* four = NewDevice(&owner, "10.0.0.2", "", 4);
    DeviceInfo* fresh = NewDevice(&owner, "10.0.0.3", "", 1);
    fresh->m_searchRsp.isFirstLogin = 1;
    const QList<DeviceInfo*> all = { one, four, fresh };

    for (int kind : { TableKindStreamConfig, TableKindOsdConfig }) {
        CheckBoxTableModel model(nullptr, kind, 0);
        model.setDevices(all);
        QCOMPARE(model.devices(), (QList<DeviceInfo*> { one, fresh }));
    }
    CheckBoxTableModel initial(nullptr, TableKindInitial, 0);
    initial.setDevices(all);
    QCOMPARE(initial.devices(), QList<DeviceInfo*> { fresh });
    CheckBoxTableModel upgrade(nullptr, TableKindUpgrade, 0);
    upgrade.setDevices(all);
    QCOMPARE(upgrade.rowCount(), 3);
    QCOMPARE(all.size(), 3); // the caller's list is copied, not changed
}

void TestCheckBoxTableModel::indexesAndFlags()
{
    QObject owner;
    DeviceInfo* device = NewDevice(&owner, "10.0.0.1");
    CheckBoxTableModel model(nullptr, TableKindReboot, 0);
    model.setDevices({ device });
    const int last = model.columnCount() - 1;

    QVERIFY(!model.index(1, 0).isValid());
    QVERIFY(!model.index(0, last + 1).isValid());
    QVERIFY(!model.index(-1, 0).isValid());
    QVERIFY(!model.index(0, 0, model.index(0, 0)).isValid());
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);
    QCOMPARE(model.index(0, 3).internalPointer(), static_cast<void*>(device));
    // Every listed device knows its last cell in this table.
    QCOMPARE(device->LastColumnIndex(TableKindReboot), model.index(0, last));
    QVERIFY(!model.data(QModelIndex()).isValid());

    QCOMPARE(int(model.flags(QModelIndex())), 0);
    QCOMPARE(int(model.flags(model.index(0, 0))), 61);
    QCOMPARE(int(model.flags(model.index(0, 2))), 61);
    QCOMPARE(int(model.flags(model.index(0, 1))), 45);
    QCOMPARE(int(model.flags(model.index(0, last))), 45);

    QSortFilterProxyModel* proxy = model.proxyModel();
    QCOMPARE(model.proxyModel(), proxy);
    QVERIFY(proxy->dynamicSortFilter());
    QCOMPARE(model.deviceAt(proxy->index(0, 4)), device);
    QCOMPARE(model.deviceAt(model.index(0, 4)), device);
    QCOMPARE(model.deviceAt(QModelIndex()), nullptr);
    QCOMPARE(model.checkState(QModelIndex()), 0);
}

void TestCheckBoxTableModel::numbersStayWithTheirDevicesWhenSorted()
{
    QObject owner;
    CheckBoxTableModel model(nullptr, TableKindSearch, 0);
    model.setDevices(
        { NewDevice(&owner, "10.0.0.100"), NewDevice(&owner, "10.0.0.9"), NewDevice(&owner, "10.0.0.10") });
    QSortFilterProxyModel* proxy = model.proxyModel();
    proxy->sort(1, Qt::AscendingOrder);
    QStringList ips;
    QList<int> numbers;
    for (int row = 0; row < 3; ++row) {
        ips << proxy->index(row, 1).data().toString();
        numbers << proxy->index(row, 0).data().toInt();
    }
    QCOMPARE(ips, (QStringList { "10.0.0.9", "10.0.0.10", "10.0.0.100" }));
    QCOMPARE(numbers, (QList<int> { 2, 3, 1 }));
}

void TestCheckBoxTableModel::checkStatesCountOnlyFilteredInRows()
{
    QObject owner;
    DeviceInfo* a = NewDevice(&owner, "10.0.0.1");
    DeviceInfo* b = NewDevice(&owner, "10.0.0.2");
    DeviceInfo* c = NewDevice(&owner, "10.0.1.3");
    CheckBoxTableModel model(nullptr, TableKindUpgrade, 0);
    QSortFilterProxyModel* proxy = model.proxyModel();
    QSignalSpy header(&model, &CheckBoxTableModel::dataChangeToheader);
    model.setDevices({ a, b, c });
    QCOMPARE(LastHeaderState(header), Qt::Unchecked);

    const auto toggle = [&](DeviceInfo* device, Qt::CheckState state) {
        model.setCheckState(proxy->mapFromSource(model.index(model.rowOf(device), 0)), state);
        model.updateCheckedDevices();
    };
    QList<DeviceInfo*> checked;

    toggle(a, Qt::Checked);
    QCOMPARE(LastHeaderState(header), Qt::PartiallyChecked);
    toggle(c, Qt::Checked);
    QCOMPARE(LastHeaderState(header), Qt::PartiallyChecked);

    // Only a and b are shown: c is checked but hidden, so it does not count.
    model.setFilterHeader(32);
    model.setFilterText("10.0.0.");
    QCOMPARE(model.visibleDevices(), (QList<DeviceInfo*> { a, b }));
    QCOMPARE(LastHeaderState(header), Qt::PartiallyChecked);
    model.getCheckedDevices(checked);
    QCOMPARE(checked, QList<DeviceInfo*> { a });
    toggle(b, Qt::Checked);
    QCOMPARE(LastHeaderState(header), Qt::Checked);

    // The filter shows c again: all three are checked.
    model.setFilterText(QString());
    QCOMPARE(LastHeaderState(header), Qt::Checked);
    model.getCheckedDevices(checked);
    QCOMPARE(checked, (QList<DeviceInfo*> { a, b, c }));

    toggle(a, Qt::Unchecked);
    QCOMPARE(LastHeaderState(header), Qt::PartiallyChecked);
    toggle(b, Qt::Unchecked);
    toggle(c, Qt::Unchecked);
    QCOMPARE(LastHeaderState(header), Qt::Unchecked);
    model.getCheckedDevices(checked);
    QVERIFY(checked.isEmpty());

    // A filter that hides every row leaves nothing checked.
    toggle(a, Qt::Checked);
    model.setFilterText("192.");
    QVERIFY(model.visibleDevices().isEmpty());
    QCOMPARE(LastHeaderState(header), Qt::Unchecked);
}

void TestCheckBoxTableModel::checkAllTouchesOnlyVisibleRows()
{
    QObject owner;
    QList<DeviceInfo*> devices;
    for (const char* ip : { "10.0.0.3", "10.0.0.1", "192.168.0.5", "10.0.0.2" })
        devices << NewDevice(&owner, ip);
    CheckBoxTableModel model(nullptr, TableKindChangePassword, 0);
    QSortFilterProxyModel* proxy = model.proxyModel();
    model.setDevices(devices);
    proxy->sort(1);
    model.setFilterHeader(32);
    model.setFilterText("^10\\.");

    QSignalSpy header(&model, &CheckBoxTableModel::dataChangeToheader);
    model.setAllChecked(Qt::Checked);
    QList<DeviceInfo*> checked;
    model.getCheckedDevices(checked);
    // In view order, because the filter hides a row.
    QCOMPARE(Ips(checked), (QStringList { "10.0.0.1", "10.0.0.2", "10.0.0.3" }));
    QCOMPARE(devices.at(2)->CheckState(TableKindChangePassword), 0);
    QVERIFY(header.isEmpty() || LastHeaderState(header) == Qt::Checked);

    model.setFilterText(QString());
    QCOMPARE(LastHeaderState(header), Qt::PartiallyChecked);
    model.setAllChecked(Qt::Unchecked);
    for (DeviceInfo* device : devices)
        QCOMPARE(device->CheckState(TableKindChangePassword), 0);
    model.getCheckedDevices(checked);
    QVERIFY(checked.isEmpty());
}

void TestCheckBoxTableModel::filterSetOnTheProxyIsFollowedToo()
{
    QObject owner;
    DeviceInfo* a = NewDevice(&owner, "10.0.0.1");
    DeviceInfo* b = NewDevice(&owner, "10.0.0.2");
    DeviceInfo* c = NewDevice(&owner, "10.0.0.3");
    CheckBoxTableModel model(nullptr, TableKindReboot, 0);
    QSortFilterProxyModel* proxy = model.proxyModel();
    model.setDevices({ a, b, c });
    a->SetCheckState(TableKindReboot, Qt::Checked);
    b->SetCheckState(TableKindReboot, Qt::Checked);
    QSignalSpy header(&model, &CheckBoxTableModel::dataChangeToheader);
    model.updateCheckedDevices();
    QCOMPARE(LastHeaderState(header), Qt::PartiallyChecked);

    // A page may set the proxy's filter itself, as the base class allows.
    proxy->setFilterKeyColumn(1);
    proxy->setFilterRegularExpression(QRegularExpression("^10\\.0\\.0\\.[12]$"));
    QList<DeviceInfo*> checked;
    model.getCheckedDevices(checked);
    QCOMPARE(checked, (QList<DeviceInfo*> { a, b }));
    QCOMPARE(LastHeaderState(header), Qt::Checked);

    proxy->setFilterRegularExpression(QRegularExpression("3$"));
    QCOMPARE(LastHeaderState(header), Qt::Checked); // told when the event loop comes back
    QCoreApplication::processEvents();
    QCOMPARE(LastHeaderState(header), Qt::Unchecked);
    model.setAllChecked(Qt::Checked);
    QCOMPARE(c->CheckState(TableKindReboot), 2);
    QCOMPARE(model.visibleDevices(), QList<DeviceInfo*> { c });
}

void TestCheckBoxTableModel::checkStatesArePerKind()
{
    QObject owner;
    DeviceInfo* device = NewDevice(&owner, "10.0.0.1");
    CheckBoxTableModel reboot(nullptr, TableKindReboot, 0);
    CheckBoxTableModel upgrade(nullptr, TableKindUpgrade, 0);
    reboot.setDevices({ device });
    upgrade.setDevices({ device });
    reboot.setAllChecked(Qt::Checked);
    QCOMPARE(reboot.checkState(reboot.index(0, 0)), 2);
    QCOMPARE(upgrade.checkState(upgrade.index(0, 0)), 0);

    // A refreshed table counts the states its devices kept.
    QSignalSpy header(&reboot, &CheckBoxTableModel::dataChangeToheader);
    reboot.clear();
    QCOMPARE(LastHeaderState(header), Qt::Unchecked);
    reboot.setDevices({ device });
    QCOMPARE(LastHeaderState(header), Qt::Checked);
    QList<DeviceInfo*> checked;
    reboot.getCheckedDevices(checked);
    QCOMPARE(checked, QList<DeviceInfo*> { device });
}

void TestCheckBoxTableModel::httpsStatesOnlyForSearchTables()
{
    ZVAppSetting::Instance()->m_company = 20;
    QObject owner;
    DeviceInfo* a = NewDevice(&owner, "10.0.0.1");
    DeviceInfo* b = NewDevice(&owner, "10.0.0.2");
    CheckBoxTableModel search(nullptr, TableKindSearch, 0);
    QSignalSpy httpsHeader(&search, &CheckBoxTableModel::dataChangeToHttpsHeader);
    search.setDevices({ a, b });
    QVERIFY(search.drawsHttpsBoxes());
    search.setHttpsCheckState(search.index(0, 2), Qt::Checked);
    search.updateHttpsCheckedDevices();
    QCOMPARE(LastHeaderState(httpsHeader), Qt::PartiallyChecked);
    QCOMPARE(search.httpsCheckState(search.index(0, 2)), 2);
    search.setAllHttpsChecked(Qt::Checked);
    QCOMPARE(b->m_httpsCheckState, 2);
    QCOMPARE(search.checkState(search.index(1, 0)), 0);

    CheckBoxTableModel upgrade(nullptr, TableKindUpgrade, 0);
    upgrade.setDevices({ a, b });
    QVERIFY(!upgrade.drawsHttpsBoxes());
    QCOMPARE(upgrade.httpsCheckState(upgrade.index(0, 2)), 0);
    upgrade.setAllHttpsChecked(Qt::Unchecked);
    upgrade.setHttpsCheckState(upgrade.index(0, 2), Qt::Unchecked);
    QCOMPARE(a->m_httpsCheckState, 2);

    ZVAppSetting::Instance()->m_company = 0;
    QVERIFY(!search.drawsHttpsBoxes());
}

void TestCheckBoxTableModel::filterLandsOnTheChosenHeader_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("company");
    QTest::addColumn<int>("header");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("shown");

    // Devices: 10.0.0.1 (port 9000, 1 channel), 10.0.0.2 (port 8000, 4 channels),
    // 10.0.0.3 (port 9000, 16 channels).
    const QStringList port8000 = { "10.0.0.2" };
    const QStringList fourChannels = { "10.0.0.2" };
    QTest::newRow("search 0, media port") << 0 << 0 << 33 << 2 << "^8000$" << port8000;
    QTest::newRow("search 0, channels") << 0 << 0 << 34 << 4 << "^4$" << fourChannels;
    QTest::newRow("search 31, channels") << 0 << 31 << 34 << 2 << "^4$" << fourChannels;
    QTest::newRow("search 34, media port") << 0 << 34 << 33 << 3 << "^8000$" << port8000;
    QTest::newRow("search 34, channels") << 0 << 34 << 34 << 5 << "^4$" << fourChannels;
    QTest::newRow("search 20, channels") << 0 << 20 << 34 << 5 << "^4$" << fourChannels;
    QTest::newRow("search 40, IP label 191") << 0 << 40 << 32 << 1 << "0\\.3$" << QStringList { "10.0.0.3" };
    QTest::newRow("search 40, media port") << 0 << 40 << 33 << 2 << "^8000$" << port8000;
    QTest::newRow("search 43, channels") << 0 << 43 << 34 << 3 << "^4$" << fourChannels;
    QTest::newRow("upgrade 34, channels") << 1 << 34 << 34 << 4 << "^4$" << fourChannels;
    QTest::newRow("upgrade 31, channels") << 1 << 31 << 34 << 2 << "^4$" << fourChannels;
    QTest::newRow("device info 43, channels") << 2 << 43 << 34 << 3 << "^4$" << fourChannels;
    QTest::newRow("range search 0, media port") << 6 << 0 << 33 << 3 << "^8000$" << port8000;
    QTest::newRow("range search 0, channels") << 6 << 0 << 34 << 5 << "^4$" << fourChannels;
    QTest::newRow("stream, channels") << 7 << 0 << 34 << 2 << "^1$" << QStringList { "10.0.0.1" };
    QTest::newRow("recovery 40, media port") << 9 << 40 << 33 << 2 << "^8000$" << port8000;
    QTest::newRow("change device 40, media port") << 12 << 40 << 33 << 2 << "^8000$" << port8000;
    QTest::newRow("reboot 0, IP") << 11 << 0 << 32 << 1 << "10.0.0.[12]" << QStringList { "10.0.0.1", "10.0.0.2" };
}

void TestCheckBoxTableModel::filterLandsOnTheChosenHeader()
{
    QFETCH(int, kind);
    QFETCH(int, company);
    QFETCH(int, header);
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(QStringList, shown);

    ZVAppSetting::Instance()->m_company = company;
    QObject owner;
    CheckBoxTableModel model(nullptr, kind, 0);
    QSortFilterProxyModel* proxy = model.proxyModel();
    model.setDevices({ NewDevice(&owner, "10.0.0.1", "", 1, 9000), NewDevice(&owner, "10.0.0.2", "", 4, 8000),
        NewDevice(&owner, "10.0.0.3", "", 16, 9000) });
    model.setFilterHeader(header);
    QCOMPARE(model.filterColumn(), column);
    QCOMPARE(proxy->filterKeyColumn(), column);
    model.setFilterText(text);
    QCOMPARE(model.filterText(), text);
    QCOMPARE(Ips(model.visibleDevices()), shown);
    QCOMPARE(proxy->rowCount(), shown.size());
}

void TestCheckBoxTableModel::headerNotShownFiltersNothingOut()
{
    ZVAppSetting::Instance()->m_company = 31; // no media port column
    QObject owner;
    CheckBoxTableModel model(nullptr, TableKindSearch, 0);
    model.proxyModel();
    model.setDevices({ NewDevice(&owner, "10.0.0.1"), NewDevice(&owner, "10.0.0.2") });
    model.setFilterHeader(33);
    model.setFilterText("^8000$");
    QCOMPARE(model.visibleDevices().size(), 2);
    // The next choice that exists filters again.
    model.setFilterHeader(32);
    QCOMPARE(model.visibleDevices().size(), 0);
    model.setFilterText("(?i)10.0.0.2");
    QCOMPARE(Ips(model.visibleDevices()), QStringList { "10.0.0.2" });
}

void TestCheckBoxTableModel::sameNameRule()
{
    ZVAppSetting::Instance()->m_company = 16;
    QObject owner;
    DeviceInfo* a = NewDevice(&owner, "10.0.0.1", "NVR-8");
    DeviceInfo* b = NewDevice(&owner, "10.0.0.2", "IPC-2");
    DeviceInfo* c = NewDevice(&owner, "10.0.0.3", "NVR-8");
    DeviceInfo* d = NewDevice(&owner, "10.0.0.4", "nvr-8");
    CheckBoxTableModel model(nullptr, TableKindImportExport, 0);
    QSortFilterProxyModel* proxy = model.proxyModel();
    model.setDevices({ a, b, c, d });
    TestSupport::DialogAnswerer boxes(TestSupport::DialogAnswerer::ClickOk);
    const auto refusals = [&] { return boxes.Dialogs().size(); };
    const auto check = [&](DeviceInfo* device, Qt::CheckState state) {
        model.setCheckState(proxy->mapFromSource(model.index(model.rowOf(device), 0)), state);
        model.updateCheckedDevices();
        return device->CheckState(TableKindImportExport) == state;
    };

    QVERIFY(check(a, Qt::Checked));
    QVERIFY(!check(b, Qt::Checked)); // refused with message 125
    QCOMPARE(refusals(), 1);
    QCOMPARE(boxes.Dialogs().last().title, QStringLiteral("T6"));
    QCOMPARE(boxes.Dialogs().last().text, QStringLiteral("T125"));
    QCOMPARE(boxes.Dialogs().last().buttonMode, 1);
    QCOMPARE(boxes.Dialogs().last().iconMode, 0);
    QVERIFY(check(c, Qt::Checked)); // same name
    QVERIFY(!check(d, Qt::Checked)); // names compare case-sensitively
    QCOMPARE(refusals(), 2);

    // Unchecking the first device keeps the rule: c still carries the name.
    QVERIFY(check(a, Qt::Unchecked));
    QVERIFY(!check(b, Qt::Checked));
    QCOMPARE(refusals(), 3);
    // Nothing checked: b is accepted and leads from now on.
    QVERIFY(check(c, Qt::Unchecked));
    QVERIFY(check(b, Qt::Checked));
    QVERIFY(!check(a, Qt::Checked));
    QCOMPARE(refusals(), 4);
    QVERIFY(check(b, Qt::Unchecked));

    // Other customers and other tables check freely.
    ZVAppSetting::Instance()->m_company = 0;
    QVERIFY(check(a, Qt::Checked));
    QVERIFY(check(b, Qt::Checked));
    ZVAppSetting::Instance()->m_company = 16;
    CheckBoxTableModel reboot(nullptr, TableKindReboot, 0);
    reboot.setDevices({ a, b });
    reboot.setCheckState(reboot.index(0, 0), Qt::Checked);
    reboot.setCheckState(reboot.index(1, 0), Qt::Checked);
    QCOMPARE(b->CheckState(TableKindReboot), 2);
}

void TestCheckBoxTableModel::refreshingARowDoesNotResetTheModel()
{
    QObject owner;
    DeviceInfo* a = NewDevice(&owner, "10.0.0.1");
    DeviceInfo* b = NewDevice(&owner, "10.0.0.2");
    CheckBoxTableModel model(nullptr, TableKindSearch, 0);
    CheckBoxTableModel onvif(nullptr, TableKindSearch, -1); // the same kind on a second table
    QSortFilterProxyModel* proxy = model.proxyModel();
    model.setDevices({ a, b });
    const QModelIndex stored = b->LastColumnIndex(TableKindSearch);
    onvif.setDevices({ b, a }); // now b's stored index belongs to the other table

    QSignalSpy resets(&model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy proxyResets(proxy, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    b->m_status = StatusOk;
    model.updateRow(stored, true);
    model.updateRow(b->LastColumnIndex(TableKindSearch), false);
    model.updateRow(QModelIndex(), true);
    model.updateDevice(a);
    QCOMPARE(resets.count(), 0);
    QCOMPARE(proxyResets.count(), 0);
    // No reset re-reads the rest of the row: every refresh covers all of it.
    QCOMPARE(changes.count(), 3);
    const int last = model.columnCount() - 1;
    const int rows[] = { 1, 1, 0 };
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(changes.at(i).at(0).toModelIndex(), model.index(rows[i], 0));
        QCOMPARE(changes.at(i).at(1).toModelIndex(), model.index(rows[i], last));
    }
    QCOMPARE(proxy->index(1, last).data().toString(), QStringLiteral("T20"));

    // A batch is one notification from its first row to its last.
    DeviceInfo* c = NewDevice(&owner, "10.0.0.3");
    DeviceInfo* d = NewDevice(&owner, "10.0.0.4");
    model.setDevices({ a, b, c, d });
    changes.clear();
    model.updateDevices({ c, b });
    model.updateDevices({});
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.at(0).at(0).toModelIndex(), model.index(1, 0));
    QCOMPARE(changes.at(0).at(1).toModelIndex(), model.index(2, last));

    // A device the table does not list is ignored.
    DeviceInfo* other = NewDevice(&owner, "10.0.0.9");
    model.updateDevice(other);
    model.updateDevices({ other });
    QCOMPARE(changes.count(), 1);
    QCOMPARE(resets.count(), 1); // setDevices' own
}

void TestCheckBoxTableModel::clearEmptiesTheTableAndTheHeader()
{
    ZVAppSetting::Instance()->m_company = 20;
    QObject owner;
    CheckBoxTableModel model(nullptr, TableKindSearch, 0);
    model.proxyModel();
    model.setDevices({ NewDevice(&owner, "10.0.0.1"), NewDevice(&owner, "10.0.0.2") });
    model.setAllChecked(Qt::Checked);
    model.setFilterText("10");
    model.setHoverRow(1);
    QSignalSpy header(&model, &CheckBoxTableModel::dataChangeToheader);
    QSignalSpy httpsHeader(&model, &CheckBoxTableModel::dataChangeToHttpsHeader);
    model.clear();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(LastHeaderState(header), Qt::Unchecked);
    QCOMPARE(LastHeaderState(httpsHeader), Qt::Unchecked);
    QList<DeviceInfo*> checked;
    model.getCheckedDevices(checked);
    QVERIFY(checked.isEmpty());
    QCOMPARE(model.hoverRow(), 1);
    QCOMPARE(model.filterText(), QStringLiteral("10"));
}

void TestCheckBoxTableModel::removeDeviceRemovesItsRow()
{
    QObject owner;
    DeviceInfo* a = NewDevice(&owner, "10.0.0.1");
    DeviceInfo* b = NewDevice(&owner, "10.0.0.2");
    CheckBoxTableModel model(nullptr, TableKindUpgrade, 0);
    QSortFilterProxyModel* proxy = model.proxyModel();
    model.setDevices({ a, b });
    model.setAllChecked(Qt::Checked);
    QVERIFY(model.removeDevice(a));
    QVERIFY(!model.removeDevice(a));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(proxy->rowCount(), 1);
    QList<DeviceInfo*> checked;
    model.getCheckedDevices(checked);
    QCOMPARE(checked, QList<DeviceInfo*> { b });
    QCOMPARE(model.index(0, 0).data(), QVariant(1));

    // The rows below a removed one are numbered anew, and the view is told.
    DeviceInfo* c = NewDevice(&owner, "10.0.0.3");
    model.setDevices({ b, c });
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(model.removeDevice(b));
    QCOMPARE(model.index(0, 0).data(), QVariant(1));
    QVERIFY(!changes.isEmpty());
    QCOMPARE(changes.last().at(0).toModelIndex(), model.index(0, 0));
}

void TestCheckBoxTableModel::languageChangeRelabelsAndKeepsRows()
{
    QObject owner;
    auto* model = new CheckBoxTableModel(&owner, TableKindReboot, 0);
    model->setDevices({ NewDevice(&owner, "10.0.0.1"), NewDevice(&owner, "10.0.0.2") });
    model->setAllChecked(Qt::Checked);
    QVERIFY(ZVAppSetting::Instance()->m_listeners.contains(model));

    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("other.xml");
    QVERIFY(TestSupport::WriteFile(path, TestSupport::NumberedLanguageFile(300, "L")));
    LanguageTexts::Reload(path);
    QCoreApplication::postEvent(model, new LanguageChangedEvent);
    QCoreApplication::sendPostedEvents(model);
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("L32"));
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->checkState(model->index(1, 0)), 2);

    // A freed model is no listener any more.
    delete model;
    QVERIFY(!ZVAppSetting::Instance()->m_listeners.contains(model));
    QTemporaryDir restore;
    const QString numbered = QDir(restore.path()).filePath("texts.xml");
    QVERIFY(TestSupport::WriteFile(numbered, TestSupport::NumberedLanguageFile(300)));
    LanguageTexts::Reload(numbered);
}

void TestCheckBoxTableModel::proxySignalsStayConsistent()
{
    // Qt's own checker watches every signal of the model and its proxy while
    // the table is filled, sorted, filtered, checked, refreshed and cleared.
    QObject owner;
    QList<DeviceInfo*> devices;
    for (int i = 0; i < 60; ++i)
        devices << NewDevice(&owner, QStringLiteral("10.0.%1.%2").arg(i % 3).arg((i * 7) % 50), "", 1 + i % 4);
    CheckBoxTableModel model(nullptr, TableKindUpgrade, 0);
    QSortFilterProxyModel* proxy = model.proxyModel();
    QAbstractItemModelTester modelTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester proxyTester(proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QPersistentModelIndex kept;

    model.setDevices(devices);
    proxy->sort(1);
    model.setFilterHeader(32);
    DeviceInfo* keptDevice = nullptr; // shown through both filters below
    for (DeviceInfo* device : devices) {
        if (device->Ip().startsWith("10.0.2.") && QString("13579").contains(device->Ip().right(1)))
            keptDevice = device;
    }
    QVERIFY(keptDevice);
    kept = proxy->mapFromSource(model.index(model.rowOf(keptDevice), 1));
    model.setFilterText("[13579]$");
    model.setFilterText("^10\\.0\\.2\\.");
    QVERIFY(kept.isValid());
    QCOMPARE(model.deviceAt(kept), keptDevice);
    model.setFilterHeader(34);
    model.setFilterText("^4$");
    model.setAllChecked(Qt::Checked);
    devices.at(3)->m_status = StatusFailed;
    model.updateDevice(devices.at(3));
    proxy->sort(model.columnCount() - 3, Qt::DescendingOrder);
    model.setFilterText(QString());
    QCOMPARE(proxy->rowCount(), devices.size());
    QVERIFY(model.removeDevice(devices.last())); // the numbers of the others stay
    model.clear();
    QCOMPARE(proxy->rowCount(), 0);
}

QTEST_MAIN(TestCheckBoxTableModel)
#include "tst_checkboxtablemodel.moc"
