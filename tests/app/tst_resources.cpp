#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QtTest>

// The compiled-in style sheet and every image it or a window names.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void styleSheetImagesLoad();
    void windowImagesLoad_data();
    void windowImagesLoad();
};

void TestResources::styleSheetImagesLoad()
{
    QFile file(QStringLiteral(":/qss/Resource/DeviceSearch.qss"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString sheet = QString::fromUtf8(file.readAll());
    QVERIFY(sheet.startsWith(QStringLiteral("* {")));
    QVERIFY(sheet.trimmed().endsWith(QStringLiteral("}")));
    QCOMPARE(sheet.count('{'), sheet.count('}'));

    QStringList images;
    QRegularExpressionMatchIterator urls = QRegularExpression(QStringLiteral("url\\(([^)]*)\\)")).globalMatch(sheet);
    while (urls.hasNext())
        images << urls.next().captured(1);
    QVERIFY(images.size() >= 15);
    for (const QString& image : images) {
        QVERIFY2(image.startsWith(QStringLiteral(":/icons/Resource/")), qPrintable(image));
        QVERIFY2(!QImage(image).isNull(), qPrintable(image));
    }
}

void TestResources::windowImagesLoad_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : { "information.png", "about-logo.png", "warning.png", "logo.png", "logo_sub.png" })
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestResources::windowImagesLoad()
{
    QFETCH(QString, name);
    QVERIFY(!QImage(QStringLiteral(":/icons/Resource/") + name).isNull());
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
