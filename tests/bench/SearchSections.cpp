// The two search pages in a LAN of network namespaces (tests/netns), with the
// SDK protocol's fake devices (tests/fakedevice):
// - LAN search of 250 devices (five namespaces of 50) with the SDK's default
//   search window: from the start until the table lists all 250, beside the
//   SDK's own search alone (ZVNetSearchDev until its end marker);
// - range search of a /24 with 60 live devices (the rest unused), with the
//   page's default limits: 50 answer at once, 10 only after 0.8 x the
//   per-address time-out. From the click until the search has ended with all
//   60 listed, beside `nmap -sn -n` over the same /24 from the same namespace
//   (only its runs that ended by themselves and found the 60 count).

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfoMng.h"
#include "ExtranetsearchFrame.h"
#include "LanDevices.h"
#include "NamespaceLan.h"
#include "SearchFrame.h"
#include "Sections.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVSdkConfig.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <atomic>

using namespace TestSupport;

namespace bench
{
namespace
{
constexpr int kLanDevices = 250;
constexpr int kRangeDevices = 60;

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

QAbstractItemModel* ListModel(const QWidget& page, const char* view)
{
    return CheckBoxTableModel::FromViewModel(page.findChild<CheckBoxTableView*>(QLatin1String(view))->model());
}

// Fake device programs in a namespace LAN, namespaces of perNamespace devices
// each, the last lateNamespaces answering lateMs late; the calling thread in
// the LAN's host namespace.
class LanFleet
{
public:
    Outcome Up(int namespaces, int perNamespace, int lateNamespaces = 0, int lateMs = 0)
    {
        QString error;
        if (!m_lan.Up(namespaces, perNamespace, &error))
            return LanNotMade(error);
        m_up = true;
        for (int i = 0; i < namespaces; ++i) {
            const bool late = i >= namespaces - lateNamespaces;
            m_programs.push_back(StartLanDevices(m_lan, QStringLiteral("dev%1").arg(i + 1), 1 + perNamespace * i,
                perNamespace, QStringLiteral(DEVSCAN_FAKEDEVICE), &error, late ? lateMs : 0));
            if (!m_programs.back())
                return Outcome::Failed(QStringLiteral("the fake devices did not start: %1").arg(error));
        }
        if (!m_lan.Enter(QStringLiteral("host")) || !NamespaceLan::SeesOnlyLan())
            return Outcome::Failed(QStringLiteral("cannot enter the LAN's host namespace"));
        return Outcome::Ok();
    }
    ~LanFleet()
    {
        m_lan.Leave();
        for (auto& program : m_programs) {
            if (program)
                program->terminate();
        }
        for (auto& program : m_programs) {
            if (program)
                program->waitForFinished(10000);
        }
        if (m_up)
            m_lan.Down();
    }
    NamespaceLan& Lan() { return m_lan; }

private:
    NamespaceLan m_lan;
    bool m_up = false;
    std::vector<std::unique_ptr<QProcess>> m_programs;
};
} // namespace

Outcome LanSearchSection(const Options& options, Report& report)
{
    LoadNumberedTexts();
    LanFleet fleet;
    if (const Outcome up = fleet.Up(5, 50); up.kind != Outcome::Done)
        return up;
    ZVNetInit();
    ZVNetSetEncription(1);
    ZVSdkSetSearchTargets(nullptr, 0);
    ZVSdkSetSearchWindow(0); // the default window
    Series page, sdk;
    int pageFound = 0, sdkFound = 0;
    QString fault;
    {
        ToolBarFrame toolBar;
        SearchFrame frame;
        frame.m_pToolBarFrame = &toolBar;
        QElapsedTimer timer;
        qint64 listedMs = -1;
        // Listed: the moment the table shows the search's devices.
        QObject::connect(
            ListModel(frame, "m_pNormalView"), &QAbstractItemModel::modelReset, [&] { listedMs = timer.elapsed(); });
        for (int run = 0; run < options.runs && fault.isEmpty(); ++run) {
            timer.start();
            frame.StartSearch();
            if (!QTest::qWaitFor([&] { return !frame.IsSearching(); }, 30000)) {
                fault = QStringLiteral("the LAN search did not end within 30 s");
                break;
            }
            pageFound = DeviceInfoMng::Instance()->m_lanDevices.size();
            if (pageFound != kLanDevices)
                fault = QStringLiteral("the LAN search listed %1 of %2 devices").arg(pageFound).arg(kLanDevices);
            page.Add(listedMs);
            // The SDK's own search alone, in the same run.
            SdkSearch search;
            ZVNetSearchParam param {};
            param.callback = &SdkSearch::Callback;
            param.user = &search;
            search.timer.start();
            ZVNetSearchDev(&param);
            if (!QTest::qWaitFor([&] { return search.endMs.load() >= 0; }, 30000)) {
                fault = QStringLiteral("the SDK search did not end within 30 s");
                break;
            }
            sdk.Add(search.endMs.load());
            sdkFound = search.records.load();
        }
        DeviceInfoMng::Instance()->ReplaceLanDevices({});
    }
    ZVNetRelease();
    if (!page.IsEmpty()) {
        Figure figure;
        figure.title = QStringLiteral("LAN search of 250 devices");
        figure.measures = QStringLiteral(
            "search page (SDK protocol, default search window 2000 ms, the SDK's search ends at 2500 ms), from the "
            "start until the table lists the devices; 250 fake devices in 5 namespaces of 50");
        figure.figure = QStringLiteral("%1/%2 listed after %3").arg(pageFound).arg(kLanDevices).arg(page.Text("ms"));
        figure.peer = QStringLiteral("the SDK's search alone (ZVNetSearchDev, %1 records): end marker after %2")
                          .arg(sdkFound)
                          .arg(sdk.Text("ms"));
        figure.goal = QStringLiteral("250 of 250 listed in every run");
        figure.met = fault.isEmpty();
        figure.gap = fault;
        report.Add(figure);
    }
    return fault.isEmpty() ? Outcome::Ok() : Outcome::Failed(fault);
}

Outcome RangeSearchSection(const Options& options, Report& report)
{
    LoadNumberedTexts();
    const ZVAppSetting* settings = ZVAppSetting::Instance();
    const int lateMs = settings->m_rangeSearchTimeoutMs * 8 / 10;
    // Six namespaces of ten addresses: 10.213.1.1-50 answer at once, .51-.60 late.
    LanFleet fleet;
    if (const Outcome up = fleet.Up(6, 10, 1, lateMs); up.kind != Outcome::Done)
        return up;
    ZVNetInit();
    ZVSdkSetSearchWindow(0);
    Series range;
    int found = 0;
    QString fault;
    {
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
        for (int run = 0; run < options.runs; ++run) {
            timer.start();
            button->click();
            if (!QTest::qWaitFor([&] { return button->isEnabled(); }, 30000)) {
                fault = QStringLiteral("the range search did not end within 30 s");
                break;
            }
            found = DeviceInfoMng::Instance()->m_extranetDevices.size();
            range.Add(listedMs);
            if (found != kRangeDevices) {
                fault = QStringLiteral("the range search listed %1 of %2 devices").arg(found).arg(kRangeDevices);
                break;
            }
        }
        DeviceInfoMng::Instance()->ReplaceExtranetDevices({});
    }
    ZVNetRelease();
    fleet.Lan().Leave();

    // An nmap run counts only when nmap ended by itself and found every live device.
    Series nmap;
    QStringList nmapLeftOut;
    const QString nmapPath = QStandardPaths::findExecutable(QStringLiteral("nmap"));
    for (int run = 0; !nmapPath.isEmpty() && run < options.runs; ++run) {
        QProcess scan;
        QElapsedTimer timer;
        timer.start();
        scan.start(QStringLiteral("ip"),
            fleet.Lan().ExecArguments(QStringLiteral("host"), nmapPath,
                { QStringLiteral("-sn"), QStringLiteral("-n"), QStringLiteral("10.213.1.0/24") }));
        const bool ended = scan.waitForFinished(120000);
        const qint64 elapsed = timer.elapsed();
        if (!ended) {
            scan.kill();
            scan.waitForFinished(5000);
            nmapLeftOut << QStringLiteral("stopped at its 120 s cap");
            continue;
        }
        const int up = scan.readAllStandardOutput().count("Host is up");
        if (scan.exitStatus() != QProcess::NormalExit || scan.exitCode() != 0)
            nmapLeftOut << QStringLiteral("ended with status %1").arg(scan.exitCode());
        else if (up != kRangeDevices)
            nmapLeftOut << QStringLiteral("found %1 of %2 hosts up").arg(up).arg(kRangeDevices);
        else
            nmap.Add(elapsed);
    }
    if (!range.IsEmpty()) {
        Figure figure;
        figure.title = QStringLiteral("/24 range search");
        figure.measures = QStringLiteral("IP-range page over 10.213.1.0-255, %1 addresses at once, %2 ms per address; "
                                         "50 devices answer at once and 10 after %3 ms; from the click until the "
                                         "search has ended with the devices listed")
                              .arg(settings->m_rangeSearchConcurrency)
                              .arg(settings->m_rangeSearchTimeoutMs)
                              .arg(lateMs);
        figure.figure = QStringLiteral("%1/%2 listed after %3").arg(found).arg(kRangeDevices).arg(range.Text("ms"));
        const bool hasPeer = !nmap.IsEmpty();
        const double ratio = hasPeer ? range.Median() / std::max(1.0, nmap.Median()) : 0;
        const QString leftOut = nmapLeftOut.isEmpty()
            ? QString()
            : QStringLiteral("; %1 nmap runs left out (%2)").arg(nmapLeftOut.size()).arg(nmapLeftOut.join("; "));
        figure.peer = nmapPath.isEmpty()
            ? QStringLiteral("nmap not installed (tools/install-deps.sh installs it); left out")
            : hasPeer
            ? QStringLiteral("nmap -sn -n 10.213.1.0/24 from the same namespace, the runs that ended by "
                             "themselves with %1 hosts up: %2; ratio of the medians %3%4")
                  .arg(kRangeDevices)
                  .arg(nmap.Text("ms"))
                  .arg(ratio, 0, 'f', 2)
                  .arg(leftOut)
            : QStringLiteral("no nmap run ended by itself with %1 hosts up%2").arg(kRangeDevices).arg(leftOut);
        figure.goal = QStringLiteral("60 of 60 listed in every run, in no more time than nmap -sn (ratio <= 1)");
        figure.met = fault.isEmpty() && hasPeer && ratio <= 1.0;
        figure.gap = !fault.isEmpty() ? fault
            : hasPeer                 ? QStringLiteral("%1 times nmap's time").arg(ratio, 0, 'f', 2)
                                      : QStringLiteral("no nmap run to compare with");
        report.Add(figure);
    }
    return fault.isEmpty() ? Outcome::Ok() : Outcome::Failed(fault);
}
} // namespace bench
