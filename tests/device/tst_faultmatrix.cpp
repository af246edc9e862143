// Every batch operation through each protocol it uses, with one device of the
// batch misbehaving: that device alone ends failed, with its operation's
// failure status; the others end as they would without it; every device's
// page hears its end exactly once; no device is left half-changed and no
// failed export leaves a file. Searches list every device but the faulty one,
// once each, and end once.
//
// Built twice: the ZVNet devices' rows, and (FAULT_MATRIX_WEB) those of the
// devices' web services, the HTTP API and ONVIF, so that the two halves, most
// of whose time is spent waiting out time-outs, run side by side.

#include "FaultMatrix.h"

#include <QtTest>

#include <memory>

using namespace TestSupport;

class TestFaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void oneFaultyDeviceFailsAlone_data();
    void oneFaultyDeviceFailsAlone();

private:
    std::unique_ptr<FaultMatrixRunner> m_runner;
};

void TestFaultMatrix::initTestCase()
{
    m_runner = std::make_unique<FaultMatrixRunner>();
}

void TestFaultMatrix::cleanupTestCase()
{
    m_runner.reset();
}

void TestFaultMatrix::oneFaultyDeviceFailsAlone_data()
{
#ifdef FAULT_MATRIX_WEB
    const bool web = true;
#else
    const bool web = false;
#endif
    QTest::addColumn<int>("index");
    const std::vector<FaultCase>& cases = FaultMatrixCases();
    for (size_t i = 0; i < cases.size(); ++i) {
        if ((cases[i].protocol != MatrixProtocol::ZVNet) == web)
            QTest::newRow(qPrintable(cases[i].name)) << int(i);
    }
}

void TestFaultMatrix::oneFaultyDeviceFailsAlone()
{
    QFETCH(int, index);
    const FaultCase& c = FaultMatrixCases().at(size_t(index));
    const FaultOutcome outcome = m_runner->Run(c);
    QVERIFY2(outcome.ended, "a device of the batch never ended");
    for (int i = 0; i < outcome.statuses.size(); ++i) {
        const bool faulty = i == outcome.faultyIndex;
        QVERIFY2(outcome.statuses[i] == (faulty ? c.faultyStatus : c.healthyStatus),
            qPrintable(QStringLiteral("device %1%2 ended with %3, not %4")
                           .arg(i)
                           .arg(faulty ? QStringLiteral(" (faulty)") : QString())
                           .arg(outcome.statuses[i])
                           .arg(faulty ? c.faultyStatus : c.healthyStatus)));
        QVERIFY2(outcome.endReports[i] == 1,
            qPrintable(QStringLiteral("device %1 ended %2 times").arg(i).arg(outcome.endReports[i])));
    }
    QVERIFY2(outcome.problems.isEmpty(), qPrintable(outcome.problems.join(QStringLiteral("; "))));
}

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
