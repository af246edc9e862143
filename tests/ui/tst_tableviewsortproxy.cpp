#include "TableViewSortProxy.h"

#include <QStandardItemModel>
#include <QtTest>

namespace
{
QVariant Text(const char* text)
{
    return QString::fromLatin1(text);
}

// One column of display values behind a proxy.
class ValueModel : public QAbstractListModel
{
public:
    explicit ValueModel(const QVariantList& values)
        : m_values(values)
    {
    }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_values.size();
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        return role == Qt::DisplayRole ? m_values.value(index.row()) : QVariant();
    }
    // Changes a value without telling anyone, as a device changes under its table.
    void SetSilently(int row, const QVariant& value) { m_values[row] = value; }

private:
    QVariantList m_values;
};

QVariantList SortedThroughProxy(const QVariantList& values, Qt::SortOrder order = Qt::AscendingOrder)
{
    ValueModel model(values);
    TableViewSortProxy proxy;
    proxy.setSourceModel(&model);
    proxy.sort(0, order);
    QVariantList sorted;
    for (int row = 0; row < proxy.rowCount(); ++row)
        sorted << proxy.index(row, 0).data();
    return sorted;
}
} // namespace

class TestTableViewSortProxy : public QObject
{
    Q_OBJECT

private slots:
    void lessThan_data();
    void lessThan();
    void orderIsStrictWeakOverMixedValues();
    void sortsAddressesNumericallyAfterOtherTexts();
    void descendingIsTheReverse();
    void resortsWithTheSourcesNewValues();
};

void TestTableViewSortProxy::lessThan_data()
{
    QTest::addColumn<QVariant>("left");
    QTest::addColumn<QVariant>("right");
    QTest::addColumn<bool>("less");

    QTest::newRow(".9 before .10") << Text("192.168.1.9") << Text("192.168.1.10") << true;
    QTest::newRow(".10 not before .9") << Text("192.168.1.10") << Text("192.168.1.9") << false;
    QTest::newRow("first part most significant") << Text("10.0.0.10") << Text("192.168.1.2") << true;
    QTest::newRow("high first part") << Text("200.0.0.1") << Text("100.255.255.255") << false;
    QTest::newRow("unsigned compare") << Text("127.255.255.255") << Text("128.0.0.0") << true;
    QTest::newRow("equal addresses") << Text("10.0.0.1") << Text("10.0.0.1") << false;
    QTest::newRow("address vs letters") << Text("10.0.0.1") << Text("camera") << false;
    QTest::newRow("letters vs address") << Text("camera") << Text("10.0.0.1") << true;
    QTest::newRow("leading zero is text, text first") << Text("192.168.01.9") << Text("0.0.0.0") << true;
    QTest::newRow("address after malformed") << Text("0.0.0.0") << Text("256.1.1.1") << false;
    QTest::newRow("malformed texts in locale order") << Text("1.2.3") << Text("1..2.3") << false;
    QTest::newRow("texts in locale order") << Text("alpha") << Text("beta") << true;
    QTest::newRow("long texts") << QVariant(QString(300, 'a')) << QVariant(QString(300, 'b')) << true;
    QTest::newRow("16 characters is text") << Text("192.168.100.2001") << Text("1.1.1.1") << true;
    QTest::newRow("ints") << QVariant(5) << QVariant(12) << true;
    QTest::newRow("ints reversed") << QVariant(12) << QVariant(5) << false;
    QTest::newRow("invalid first") << QVariant() << Text("a") << true;
    QTest::newRow("nothing before invalid") << Text("a") << QVariant() << false;
    QTest::newRow("bools are equal") << QVariant(true) << QVariant(false) << false;
}

void TestTableViewSortProxy::lessThan()
{
    QFETCH(QVariant, left);
    QFETCH(QVariant, right);
    QFETCH(bool, less);
    QCOMPARE(TableViewSortProxy::LessThanValues(left, right), less);
}

void TestTableViewSortProxy::orderIsStrictWeakOverMixedValues()
{
    // Sorting with a comparator that is no strict weak ordering is undefined:
    // check the four laws over every triple of a mixed column.
    const QVariantList values = {
        Text("10.0.0.1"),
        Text("10.0.0.10"),
        Text("9.255.255.255"),
        Text("0.0.0.0"),
        Text("255.255.255.255"),
        Text("camera"),
        Text("Camera"),
        Text(""),
        QVariant(QString()),
        Text("192.168.01.9"),
        Text("1.2.3"),
        Text("1.2.3.4."),
        Text("256.1.1.1"),
        Text("1..2.3"),
        Text("10.0.0.1 "),
        Text("zz"),
        QVariant(),
        QVariant(7),
        QVariant(-3),
        QVariant(true),
        QVariant(false),
        QVariant(QString(400, 'x')),
    };
    const auto less = &TableViewSortProxy::LessThanValues;
    const auto equivalent = [&](const QVariant& a, const QVariant& b) { return !less(a, b) && !less(b, a); };
    for (const QVariant& a : values) {
        QVERIFY2(!less(a, a), qPrintable(a.toString()));
        for (const QVariant& b : values) {
            if (less(a, b))
                QVERIFY2(!less(b, a), qPrintable(a.toString() + " / " + b.toString()));
            for (const QVariant& c : values) {
                if (less(a, b) && less(b, c))
                    QVERIFY2(less(a, c), qPrintable(a.toString() + " < " + b.toString() + " < " + c.toString()));
                if (equivalent(a, b) && equivalent(b, c))
                    QVERIFY2(equivalent(a, c), qPrintable(a.toString() + " ~ " + b.toString() + " ~ " + c.toString()));
            }
        }
    }
}

void TestTableViewSortProxy::sortsAddressesNumericallyAfterOtherTexts()
{
    const QVariantList values = { Text("10.0.0.100"), Text("10.0.0.9"), Text("no address"), Text("10.0.0.10"),
        Text("192.168.1.2"), Text("1.2.3.4."), Text("2.0.0.0") };
    const QVariantList sorted = SortedThroughProxy(values);
    QCOMPARE(sorted.mid(2),
        (QVariantList {
            Text("2.0.0.0"), Text("10.0.0.9"), Text("10.0.0.10"), Text("10.0.0.100"), Text("192.168.1.2") }));
    QVERIFY(sorted.mid(0, 2).contains(Text("no address")));
    QVERIFY(sorted.mid(0, 2).contains(Text("1.2.3.4.")));
}

void TestTableViewSortProxy::descendingIsTheReverse()
{
    QVariantList values;
    for (int i = 0; i < 200; ++i)
        values << QVariant(QStringLiteral("10.%1.%2.%3").arg(i % 7).arg((i * 37) % 256).arg((i * 11) % 256));
    values << Text("x") << QVariant(QString());
    QVariantList ascending = SortedThroughProxy(values);
    const QVariantList descending = SortedThroughProxy(values, Qt::DescendingOrder);
    std::reverse(ascending.begin(), ascending.end());
    QCOMPARE(descending, ascending);
}

void TestTableViewSortProxy::resortsWithTheSourcesNewValues()
{
    QStandardItemModel model;
    for (const char* ip : { "10.0.0.5", "10.0.0.1", "10.0.0.3" })
        model.appendRow(new QStandardItem(QString::fromLatin1(ip)));
    TableViewSortProxy proxy;
    proxy.setSourceModel(&model);
    proxy.setDynamicSortFilter(true);
    proxy.sort(0);
    const auto shown = [&] {
        QStringList texts;
        for (int row = 0; row < proxy.rowCount(); ++row)
            texts << proxy.index(row, 0).data().toString();
        return texts;
    };
    QCOMPARE(shown(), (QStringList { "10.0.0.1", "10.0.0.3", "10.0.0.5" }));

    model.item(0)->setText("10.0.0.0");
    QCOMPARE(shown(), (QStringList { "10.0.0.0", "10.0.0.1", "10.0.0.3" }));
    model.insertRow(1, new QStandardItem("10.0.0.2"));
    model.item(3)->setText("10.0.0.9");
    QCOMPARE(shown(), (QStringList { "10.0.0.0", "10.0.0.1", "10.0.0.2", "10.0.0.9" }));
    model.removeRow(0);
    model.item(0)->setText("10.0.0.10");
    QCOMPARE(shown(), (QStringList { "10.0.0.1", "10.0.0.9", "10.0.0.10" }));

    // A sort the user asks for reads values that changed without a signal.
    ValueModel silent({ Text("10.0.0.2"), Text("10.0.0.1") });
    TableViewSortProxy silentProxy;
    silentProxy.setSourceModel(&silent);
    silentProxy.sort(0);
    QCOMPARE(silentProxy.index(0, 0).data(), Text("10.0.0.1"));
    silent.SetSilently(0, Text("10.0.0.0"));
    silentProxy.sort(0, Qt::DescendingOrder); // a header click flips the order
    QCOMPARE(silentProxy.index(1, 0).data(), Text("10.0.0.0"));
}

QTEST_GUILESS_MAIN(TestTableViewSortProxy)
#include "tst_tableviewsortproxy.moc"
