#pragma once

#include <QString>

#include <functional>

class QWidget;

// The file questions of the operation pages. They go through a replaceable
// answer so that tests can answer them; by default Qt's file dialogs ask.
namespace FileDialogs
{
struct Question
{
    bool save = false; // a save dialog; else an open dialog
    QWidget* parent = nullptr;
    QString caption;
    QString directory; // or the suggested file name of a save dialog
    QString filter;
};

// The chosen path, empty when cancelled.
using Answer = std::function<QString(const Question& question)>;

// Replaces how file questions are answered (tests answer them); an empty
// answer restores the dialogs. Returns the answer it replaced. GUI thread.
Answer SetAnswer(Answer answer);

QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory, const QString& filter);
QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory, const QString& filter);
} // namespace FileDialogs
