// Figures for the two search pages in a LAN of network namespaces; run by
// hand as root, not by ctest:
//
//   bench_search [runs] [range]
//
// 1. LAN search of 250 fake devices with the SDK's default search window: the
//    time from the start until all 250 are listed (left out with "range").
// 2. Range search of a /24 with 60 live devices (the rest of the /24 unused),
//    with the page's default limits: 50 answer at once, 10 only after 0.8 x
//    the per-address time-out. The time from the click until the search has
//    ended with all 60 listed, and `nmap -sn -n` over the same /24 from the
//    same namespace when nmap is installed (the LAN holds exactly those 60
//    addresses).

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfoMng.h"
#include "ExtranetsearchFrame.h"
#include "LanDevices.h"
#include "NamespaceLan.h"
#include "SearchFrame.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVSdkConfig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cstdio>

using namespace TestSupport;

namespace
{
struct Figures
{
    QVector<qint64> ms;
    int found = -1;
    qint64 Median() const
    {
        QVector<qint64> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted.at(sorted.size() / 2);
    }
    QString Text() const
    {
        QVector<qint64> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return QStringLiteral("min %1 ms, median %2 ms, max %3 ms over %4 runs")
            .arg(sorted.first())
            .arg(sorted.at(sorted.size() / 2))
            .arg(sorted.last())
            .arg(sorted.size());
    }
};

struct SdkSearch
{
    static int Callback(const SearchDevRsp* record, void* user)
    {
        auto* self = static_cast<SdkSearch*>(user);
        if (record)
            ++self->records;
        else
            self->endMs = self->timer.elapsed();
        return 1;
    }
    QElapsedTimer timer;
    std::atomic<int> records { 0 };
    std::atomic<qint64> endMs { -1 };
};

bool EnterHost(NamespaceLan& lan)
{
    return lan.Enter(QStringLiteral("host")) && NamespaceLan::SeesOnlyLan();
}

QAbstractItemModel* ListModel(const QWidget& page, const char* view)
{
    return CheckBoxTableModel::FromViewModel(page.findChild<CheckBoxTableView*>(QLatin1String(view))->model());
}

int Fail(const QString& why)
{
    std::fprintf(stderr, "bench_search: %s\n", qPrintable(why));
    return 1;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    const bool rangeOnly = argc > 2 && QByteArray(argv[2]) == "range";
    LoadNumberedTexts();
    const QString program = QStringLiteral(DEVSCAN_FAKEDEVICE);
    QString error;

    // 1. LAN search of 250 devices, five namespaces of 50.
    Figures lan;
    Figures sdk;
    if (!rangeOnly) {
        NamespaceLan net;
        if (!net.Up(5, 50, &error))
            return Fail(error);
        std::vector<std::unique_ptr<QProcess>> programs;
        for (int i = 0; i < 5; ++i) {
            programs.push_back(
                StartLanDevices(net, QStringLiteral("dev%1").arg(i + 1), 1 + 50 * i, 50, program, &error));
            if (!programs.back())
                return Fail(error);
        }
        if (!EnterHost(net))
            return Fail(QStringLiteral("cannot enter the LAN"));
        ZVNetInit();
        ZVNetSetEncription(1);
        ZVSdkSetSearchTargets(nullptr, 0);
        ZVSdkSetSearchWindow(0); // the default window
        ToolBarFrame toolBar;
        SearchFrame page;
        page.m_pToolBarFrame = &toolBar;
        QElapsedTimer timer;
        qint64 listedMs = -1;
        // Listed: the moment the table shows the search's devices.
        QObject::connect(
            ListModel(page, "m_pNormalView"), &QAbstractItemModel::modelReset, [&] { listedMs = timer.elapsed(); });
        for (int run = 0; run < runs; ++run) {
            timer.start();
            page.StartSearch();
            if (!QTest::qWaitFor([&] { return !page.IsSearching(); }, 30000))
                return Fail(QStringLiteral("the LAN search did not end"));
            lan.ms << listedMs;
            lan.found = DeviceInfoMng::Instance()->m_lanDevices.size();
            if (lan.found != 250)
                return Fail(QStringLiteral("LAN search listed %1 devices").arg(lan.found));
            QTest::qWait(200);
        }
        // The SDK's own search alone, for comparison: its end marker.
        for (int run = 0; run < runs; ++run) {
            SdkSearch search;
            ZVNetSearchParam param {};
            param.callback = &SdkSearch::Callback;
            param.user = &search;
            search.timer.start();
            ZVNetSearchDev(&param);
            if (!QTest::qWaitFor([&] { return search.endMs.load() >= 0; }, 30000))
                return Fail(QStringLiteral("the SDK search did not end"));
            sdk.ms << search.endMs.load();
            sdk.found = search.records.load();
            QTest::qWait(200);
        }
        ZVNetRelease();
        net.Leave();
        StopLanDevices(programs);
        net.Down();
    }
    if (!rangeOnly) {
        std::printf(
            "SDK search alone (ZVNetSearchDev, %d records): end marker after %s\n", sdk.found, qPrintable(sdk.Text()));
        // The SDK asks twice, a quarter window apart, and ends one window after
        // the second round: 2500 ms with the default window of 2000 ms.
        std::printf("LAN search, 250 devices, default search window 2000 ms (SDK search end due at 2500 ms): all "
                    "listed after %s\n",
            qPrintable(lan.Text()));
    }

    // 2. Range search of a /24 with 60 live devices, and nmap over the same /24.
    const ZVAppSetting* settings = ZVAppSetting::Instance();
    const int slowDelayMs = settings->m_rangeSearchTimeoutMs * 8 / 10;
    Figures range;
    Figures nmap;
    {
        // Six namespaces of ten addresses: 10.213.1.1-50 answer at once, .51-.60 late.
        NamespaceLan net;
        if (!net.Up(6, 10, &error))
            return Fail(error);
        std::vector<std::unique_ptr<QProcess>> programs;
        for (int i = 0; i < 6; ++i) {
            programs.push_back(StartLanDevices(
                net, QStringLiteral("dev%1").arg(i + 1), 1 + 10 * i, 10, program, &error, i == 5 ? slowDelayMs : 0));
            if (!programs.back())
                return Fail(error);
        }
        if (!EnterHost(net))
            return Fail(QStringLiteral("cannot enter the LAN"));
        ZVNetInit();
        ZVSdkSetSearchWindow(0);
        ToolBarFrame toolBar;
        ExtranetsearchFrame page;
        page.m_pToolBarFrame = &toolBar;
        page.findChild<QLineEdit*>(QStringLiteral("m_pEditStaIP"))->setText(QStringLiteral("10.213.1.0"));
        page.findChild<QLineEdit*>(QStringLiteral("m_pEditEndIP"))->setText(QStringLiteral("10.213.1.255"));
        auto* button = page.findChild<QPushButton*>(QStringLiteral("m_pBtnQuery"));
        QElapsedTimer timer;
        qint64 listedMs = -1;
        QObject::connect(ListModel(page, "m_pDeviceTableView"), &QAbstractItemModel::modelReset, [&] {
            if (page.IsSearching() || DeviceInfoMng::Instance()->m_extranetDevices.size() > 0)
                listedMs = timer.elapsed();
        });
        for (int run = 0; run < runs; ++run) {
            timer.start();
            button->click();
            if (!QTest::qWaitFor([&] { return button->isEnabled(); }, 30000))
                return Fail(QStringLiteral("the range search did not end"));
            range.ms << listedMs;
            range.found = DeviceInfoMng::Instance()->m_extranetDevices.size();
            if (range.found != 60)
                return Fail(QStringLiteral("range search listed %1 devices").arg(range.found));
            QTest::qWait(200);
        }
        ZVNetRelease();
        net.Leave();

        const QString nmapPath = QStandardPaths::findExecutable(QStringLiteral("nmap"));
        for (int run = 0; !nmapPath.isEmpty() && run < runs; ++run) {
            QProcess scan;
            QElapsedTimer timer;
            timer.start();
            scan.start(QStringLiteral("ip"),
                net.ExecArguments(QStringLiteral("host"), nmapPath,
                    { QStringLiteral("-sn"), QStringLiteral("-n"), QStringLiteral("10.213.1.0/24") }));
            scan.waitForFinished(120000);
            nmap.ms << timer.elapsed();
            const QByteArray out = scan.readAllStandardOutput();
            nmap.found = out.count("Host is up");
        }
        StopLanDevices(programs);
        net.Down();
    }
    std::printf("Range search of a /24, 50 devices answering at once and 10 after %d ms, %d addresses at once, %d ms "
                "per address: all 60 listed, search ended after %s\n",
        slowDelayMs, settings->m_rangeSearchConcurrency, settings->m_rangeSearchTimeoutMs, qPrintable(range.Text()));
    if (nmap.ms.isEmpty()) {
        std::printf("nmap -sn: not installed\n");
    } else {
        std::printf("nmap -sn -n of the same /24 (%d hosts up): %s\n", nmap.found, qPrintable(nmap.Text()));
        std::printf("ratio of the medians, range search / nmap: %.2f\n",
            double(range.Median()) / double(std::max<qint64>(1, nmap.Median())));
    }
    DeviceInfoMng::Instance()->ReplaceLanDevices({});
    DeviceInfoMng::Instance()->ReplaceExtranetDevices({});
    return 0;
}
