#pragma once

// The LAN of network namespaces (tests/netns/lan.sh) the searches are tried
// in: four program namespaces of 50 addresses each, 10.213.1.1 to .200, and
// dev5 for single devices the test makes itself (from .201 on). The test
// thread leaves the LAN after each case.

#include "NamespaceLan.h"
#include "SdkTestSupport.h"

#include <QElapsedTimer>
#include <QObject>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>

namespace sdktest
{
constexpr int kLanPrograms = 4;
constexpr int kLanPerNamespace = 50;

inline std::string LanAddress(int n)
{
    return "10.213.1." + std::to_string(n);
}

// Every address the programs serve, sorted as SearchCollector::Ips sorts.
inline QStringList ProgramAddresses()
{
    QStringList addresses;
    for (int n = 1; n <= kLanPrograms * kLanPerNamespace; ++n)
        addresses << QString::fromStdString(LanAddress(n));
    std::sort(addresses.begin(), addresses.end());
    return addresses;
}

// The moment a search's last record came, counted from the object's start.
struct SearchClock
{
    explicit SearchClock(SearchCollector& collector)
    {
        collector.onCallback = [this](const SearchDevRsp* record) {
            if (record)
                lastRecordMs = timer.elapsed();
        };
        timer.start();
    }

    QElapsedTimer timer;
    std::atomic<qint64> lastRecordMs { 0 };
};

class LanTestCase : public QObject
{
    Q_OBJECT

protected slots:
    void initTestCase()
    {
        QString reason;
        if (!m_lan.Up(kLanPrograms + 1, kLanPerNamespace, &reason))
            QSKIP(qPrintable(reason));
    }
    void cleanupTestCase() { m_lan.Down(); }
    void cleanup() { m_lan.Leave(); }

protected:
    // One fake-device program in each program namespace, the i-th serving
    // its 50 addresses with the options given.
    std::unique_ptr<LanPrograms> StartPrograms(const QString& program, const QStringList& options) const
    {
        return std::make_unique<LanPrograms>(m_lan, kLanPrograms, program, [options](int i) {
            return QStringList { QStringLiteral("--first"),
                QString::fromStdString(LanAddress(1 + i * kLanPerNamespace)), QStringLiteral("--count"),
                QString::number(kLanPerNamespace) }
            + options;
        });
    }

    // A device made in dev5 by make, so that its sockets and threads live
    // there; null when it does not listen.
    template <typename Make> auto DeviceInDev5(Make make) -> decltype(make())
    {
        if (!m_lan.Enter(QStringLiteral("dev5")))
            return nullptr;
        auto device = make();
        const bool listening = device->WaitListening(3000);
        m_lan.Leave();
        return listening ? std::move(device) : nullptr;
    }

    NamespaceLan m_lan;
};
} // namespace sdktest
