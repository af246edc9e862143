#pragma once

// Where a parameter export is saved. The export asks once per device, on the
// GUI thread, after the device's parameters have arrived; device/ shows no
// dialog, so the page that offers exports installs the question (a save
// dialog with caption text 115, the suggested name and the filter
// "Export File (*.txt)"). An empty answer means cancelled.

#include <QString>

#include <functional>

using ExportPathQuestion = std::function<QString(const QString& suggestedName)>;

// Replaces the question; returns the one installed before. With none
// installed every export is cancelled.
ExportPathQuestion SetExportPathQuestion(ExportPathQuestion question);
QString AskExportPath(const QString& suggestedName);
