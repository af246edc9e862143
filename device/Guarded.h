#pragma once

// No exception may leave a pool task, an SDK callback or an event handler:
// each runs its work through RunGuarded and turns a failure into a status.

#include <QDebug>

#include <exception>

template <typename Action> bool RunGuarded(const char* where, Action&& action) noexcept
{
    try {
        action();
        return true;
    } catch (const std::exception& error) {
        qDebug() << "exception===" << where << error.what();
    } catch (...) {
        qDebug() << "exception===" << where;
    }
    return false;
}
