#pragma once

// Fake device programs in the namespace LAN of NamespaceLan, for the search
// pages' LAN test and benchmark.

#include "NamespaceLan.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QString>

#include <memory>
#include <vector>

namespace TestSupport
{
// 10.213.1.1 onwards: the n-th device address (1-based) of lan.sh.
inline QString LanAddress(int n)
{
    return QStringLiteral("10.213.%1.%2").arg(1 + (n - 1) / 250).arg(1 + (n - 1) % 250);
}

// Runs count fake devices from address first in namespace ns, answering
// broadcast searches (each answer replyDelayMs late); waits until every one
// listens. Null when they do not.
inline std::unique_ptr<QProcess> StartLanDevices(const NamespaceLan& lan, const QString& ns, int first, int count,
    const QString& program, QString* error, int replyDelayMs = 0)
{
    auto process = std::make_unique<QProcess>();
    QStringList args { QStringLiteral("--first"), LanAddress(first), QStringLiteral("--count"), QString::number(count),
        QStringLiteral("--broadcast"), QStringLiteral("--seconds"), QStringLiteral("300") };
    if (replyDelayMs > 0)
        args << QStringLiteral("--reply-delay") << QString::number(replyDelayMs);
    process->start(QStringLiteral("ip"), lan.ExecArguments(ns, program, args));
    QByteArray out;
    QElapsedTimer wait;
    wait.start();
    while (!out.contains("ready") && wait.elapsed() < 30000 && process->state() != QProcess::NotRunning) {
        process->waitForReadyRead(200);
        out += process->readAllStandardOutput();
    }
    if (!out.contains("ready") || out.count("device ") != count) {
        *error = QString::fromLocal8Bit(process->readAllStandardError());
        return nullptr;
    }
    return process;
}

inline void StopLanDevices(std::vector<std::unique_ptr<QProcess>>& programs)
{
    for (auto& program : programs) {
        program->terminate();
        program->waitForFinished(10000);
    }
    programs.clear();
}
} // namespace TestSupport
