#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

namespace TestSupport
{
bool WriteFile(const QString& path, const QByteArray& content);
QByteArray ReadFile(const QString& path);
// size bytes of a fixed pseudo-random sequence (a firmware image, say).
QByteArray RandomBytes(int size, unsigned seed);
// Lower-case hex of the bytes' SHA-256, as the fake devices report what they received.
std::string Sha256Hex(const QByteArray& bytes);
// Reads a file descriptor (a child process's pipe) to its end, then closes it.
QByteArray ReadToEnd(int fd);

// A language file whose text n reads "T<n>" (or "<prefix><n>").
QByteArray NumberedLanguageFile(int count, const QString& prefix = QStringLiteral("T"));

// The config.xml shipped next to the program (it declares every shipped
// language file), set to a customer code and a saved language (-1: none).
QByteArray ShippedConfig(int company, int cursel = -1);
// The position of a language file among those the shipped config.xml
// declares (its saved-language value), or -1.
int ShippedLanguageIndex(const QString& fileName);
// The texts of a language file shipped in the program's Language folder, in
// id order; empty when the file cannot be read.
QStringList ShippedTexts(const QString& fileName);

// A language file in the program's Language folder for the length of a test.
// Give it a name no other test uses: tests run in parallel.
class TemporaryLanguageFile
{
public:
    TemporaryLanguageFile(const QString& name, const QByteArray& content);
    ~TemporaryLanguageFile();
    QString Path() const { return m_path; }

private:
    QString m_path;
};

// A temporary APPDATA folder for the length of a test; the settings folder
// below it is named after the product title.
class TemporarySettings
{
public:
    TemporarySettings();
    ~TemporarySettings();

    QString SettingsFolder() const;
    QString ConfigPath() const;
    bool WriteConfig(const QByteArray& content) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious;
};

// An .xlsx workbook as tests/pages/read_xlsx.py reads it (Debian's python3 and
// python3-openpyxl); an empty object when it cannot.
QJsonObject ReadWorkbook(const QString& path);
} // namespace TestSupport
