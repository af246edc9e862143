#pragma once

// Batches of fake devices in which one device misbehaves: it does not
// answer, answers late, drops the link half-way through a reply, refuses the
// request, sends what is no JSON, wrong types, short key lists or oversized
// records, refuses the password, or goes away in the middle of the batch.
// Each case queues one operation for every device the way the pages do and
// runs the event loop until every device has ended; the outcome says how each
// device ended and what the fake devices ended with.

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

namespace TestSupport
{
enum class MatrixProtocol
{
    ZVNet, // the SDK's own protocol (customer code 0)
    Http, // the HTTP JSON API (customer code 44)
    Onvif, // a device an ONVIF search found
};

enum class MatrixFault
{
    NoAnswer, // takes the connection, never answers
    Late, // answers after the time-out
    DropMidTransfer, // half of a reply, then the link closes
    ErrorReply, // HTTP: not 200; ZVNet: a refusing header status
    NotJson, // HTTP 200 with a body that is no JSON
    WrongTypes, // the reply's members have other types
    ShortKeyList, // HTTP: the key list misses its entries; ZVNet: records cut short
    Oversized, // HTTP: a body beyond any reply; ZVNet: records longer than their size
    HugeLength, // ZVNet: a frame length above the protocol's limit
    RefusedPassword, // the login password is not the device's
    Vanishes, // the device goes away while its request is under way
};

struct FaultCase
{
    QString name;
    int operation = 0; // index into the operations of FaultMatrix.cpp
    MatrixProtocol protocol = MatrixProtocol::ZVNet;
    MatrixFault fault = MatrixFault::NoAnswer;
    // The status each healthy device, and the faulty one, must end with; for
    // a search, how many times each must be listed (1 and 0).
    int healthyStatus = 0;
    int faultyStatus = 0;
};

// Every case of the matrix, in a stable order.
const std::vector<FaultCase>& FaultMatrixCases();

struct FaultOutcome
{
    bool ended = false; // every device ended within the bound
    // Each device's status at its end (a search: how often it was listed);
    // the faulty one is faultyIndex.
    QVector<int> statuses;
    // How many reports ended each device (a search: how often it ended).
    QVector<int> endReports;
    int faultyIndex = 0;
    // What the fake devices, the files and the device records do not agree
    // with: a healthy device without the change, a faulty one half-changed.
    QStringList problems;
    qint64 longestGapMs = 0; // GUI-thread timer gap, first queued task to last end
    qint64 elapsedMs = 0; // first queued task to last end
};

class FaultMatrixRunner
{
public:
    // The SDK set up for loopback, the language texts, a task pool.
    FaultMatrixRunner();
    ~FaultMatrixRunner();
    FaultMatrixRunner(const FaultMatrixRunner&) = delete;
    FaultMatrixRunner& operator=(const FaultMatrixRunner&) = delete;

    // Runs one case on the calling (GUI) thread.
    FaultOutcome Run(const FaultCase& faultCase);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

struct FaultCaseGap
{
    QString name;
    qint64 longestGapMs = 0;
    bool passed = false; // the outcome was the expected one
};

// Runs every case once and returns the longest GUI-thread timer gap of each
// (a 5 ms timer on the thread that receives the end events, from the first
// queued task until the last device ended). Needs a QCoreApplication.
std::vector<FaultCaseGap> MeasureFaultMatrixGaps();
} // namespace TestSupport
