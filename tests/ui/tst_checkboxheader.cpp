// What the device tables' header draws, pixel by pixel, with the program's
// style sheet: each section's lines, the check boxes' place, and the sort
// arrow beside the label and in step with the rows.
#include "CheckBoxHeaderView.h"
#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceFixtures.h"
#include "UiTestSupport.h"
#include "ZVAppSetting.h"

#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QtTest>

using TestSupport::NewDevice;

namespace
{
const QColor kLine(140, 140, 140); // the sections' right and bottom lines
const QColor kBackground(245, 246, 248);

bool Near(QRgb pixel, const QColor& colour, int tolerance = 16)
{
    return qAbs(qRed(pixel) - colour.red()) <= tolerance && qAbs(qGreen(pixel) - colour.green()) <= tolerance
        && qAbs(qBlue(pixel) - colour.blue()) <= tolerance;
}

// Drawn over the section's background: text, arrow or box.
bool Ink(QRgb pixel)
{
    return !Near(pixel, kBackground, 40) && !Near(pixel, kLine, 6);
}

// The search table of customer 20: a check box over column 0, an https box
// over column 2.
struct Table
{
    explicit Table(const QStringList& ips)
    {
        ZVAppSetting::Instance()->m_company = 20;
        view = new CheckBoxTableView(&page);
        model = new CheckBoxTableModel(view, TableKindSearch, 0);
        proxy = model->proxyModel();
        view->setModel(proxy, 0, 2);
        for (const QString& ip : ips)
            devices << NewDevice(&page, ip);
        model->setDevices(devices);
        page.resize(1400, 300);
        view->resize(1400, 300);
        page.show();
    }

    CheckBoxHeaderView* Header() const { return view->checkBoxHeader(); }
    QImage Picture() const { return Header()->grab().toImage(); }
    QRect Section(int section) const
    {
        return QRect(Header()->sectionViewportPosition(section), 0, Header()->sectionSize(section), Header()->height());
    }
    void ClickSection(int section)
    {
        const QRect rect = Section(section);
        QTest::mouseClick(Header()->viewport(), Qt::LeftButton, Qt::NoModifier,
            QPoint(rect.center().x() + rect.width() / 4, rect.center().y()));
    }
    QStringList Column(int column) const
    {
        QStringList texts;
        for (int row = 0; row < proxy->rowCount(); ++row)
            texts << proxy->index(row, column).data().toString();
        return texts;
    }

    QWidget page;
    CheckBoxTableView* view;
    CheckBoxTableModel* model;
    QSortFilterProxyModel* proxy;
    QList<DeviceInfo*> devices;
};
} // namespace

class TestCheckBoxHeader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sectionsDrawTheirLines_data();
    void sectionsDrawTheirLines();
    void boxesSitInTheMiddle_data();
    void boxesSitInTheMiddle();
    void sortIndicatorFollowsTheRows();
    void sortArrowKeepsClearOfTheLabel();

private:
    QTemporaryDir m_dir;
};

void TestCheckBoxHeader::initTestCase()
{
    TestSupport::ApplyProgramStyle();
    // The English labels of the search table's first columns.
    QByteArray texts = TestSupport::NumberedLanguageFile(300);
    texts.replace("<string>T31</string>", "<string>No.</string>");
    texts.replace("<string>T32</string>", "<string>IP Address</string>");
    texts.replace("<string>T158</string>", "<string>HTTPS</string>");
    texts.replace("<string>T33</string>", "<string>Media Port</string>");
    const QString path = m_dir.filePath(QStringLiteral("texts.xml"));
    QVERIFY(TestSupport::WriteFile(path, texts));
    LanguageTexts::Create(path);
}

void TestCheckBoxHeader::cleanupTestCase()
{
    LanguageTexts::Release();
    ZVAppSetting::Instance()->m_company = 0;
}

void TestCheckBoxHeader::sectionsDrawTheirLines_data()
{
    QTest::addColumn<int>("section");
    QTest::newRow("check box section") << 0;
    QTest::newRow("plain section") << 1;
    QTest::newRow("https box section") << 2;
}

void TestCheckBoxHeader::sectionsDrawTheirLines()
{
    QFETCH(int, section);
    Table table({ "10.0.0.1", "10.0.0.2" });
    QVERIFY(QTest::qWaitForWindowExposed(&table.page));
    const QImage picture = table.Picture();
    const QRect rect = table.Section(section);

    // The right line runs the section's height, at its own right edge.
    for (int y = 0; y < rect.height(); ++y)
        QVERIFY2(Near(picture.pixel(rect.right(), y), kLine), qPrintable(QStringLiteral("right line, y %1").arg(y)));
    // The bottom line runs its whole width, under the box too.
    for (int x = rect.left(); x <= rect.right(); ++x)
        QVERIFY2(Near(picture.pixel(x, rect.bottom()), kLine), qPrintable(QStringLiteral("bottom line, x %1").arg(x)));
}

void TestCheckBoxHeader::boxesSitInTheMiddle_data()
{
    QTest::addColumn<int>("section");
    QTest::newRow("check box") << 0;
    QTest::newRow("https box") << 2;
}

void TestCheckBoxHeader::boxesSitInTheMiddle()
{
    QFETCH(int, section);
    Table table({ "10.0.0.1" });
    QVERIFY(QTest::qWaitForWindowExposed(&table.page));
    const QImage picture = table.Picture();
    const QRect rect = table.Section(section);

    // The box: the ink at the section's left, before its label.
    QRect box;
    for (int x = rect.left(); x < rect.left() + 22; ++x) {
        for (int y = 0; y < rect.height() - 1; ++y) {
            if (Ink(picture.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY(box.isValid());
    QVERIFY2(qAbs(box.width() - 12) <= 1 && qAbs(box.height() - 12) <= 1,
        qPrintable(QStringLiteral("%1x%2").arg(box.width()).arg(box.height())));
    // In the middle of the header's height (the bottom line aside), and as
    // far from the column line on its left as the labels keep.
    const double middle = (rect.height() - 1) / 2.0;
    QVERIFY2(qAbs((box.top() + box.bottom()) / 2.0 - middle) <= 1.0,
        qPrintable(QStringLiteral("box rows %1-%2 in %3").arg(box.top()).arg(box.bottom()).arg(rect.height())));
    QVERIFY2(box.left() - rect.left() >= 4, qPrintable(QString::number(box.left() - rect.left())));
    // A press on the drawn box is a press on the box.
    QSignalSpy checked(table.Header(), &CheckBoxHeaderView::updateHeadCheckStateToModel);
    QSignalSpy https(table.Header(), &CheckBoxHeaderView::updateHeadHttpsCheckStateToModel);
    QTest::mouseClick(table.Header()->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    QCOMPARE(checked.count(), section == 0 ? 1 : 0);
    QCOMPARE(https.count(), section == 2 ? 1 : 0);
}

void TestCheckBoxHeader::sortIndicatorFollowsTheRows()
{
    Table table({ "10.0.0.10", "10.0.0.9", "10.0.0.100" });
    CheckBoxHeaderView* header = table.Header();
    // At start the rows are in the model's order, which is the numbers'.
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(table.Column(0), (QStringList { "1", "2", "3" }));

    table.ClickSection(1);
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(table.Column(1), (QStringList { "10.0.0.9", "10.0.0.10", "10.0.0.100" }));
    table.ClickSection(1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(table.Column(1), (QStringList { "10.0.0.100", "10.0.0.10", "10.0.0.9" }));

    // A new list keeps the order the indicator shows.
    table.model->setDevices({ table.devices.at(2), table.devices.at(0), table.devices.at(1) });
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(table.Column(1), (QStringList { "10.0.0.100", "10.0.0.10", "10.0.0.9" }));

    table.ClickSection(0);
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(table.Column(0), (QStringList { "1", "2", "3" }));
}

void TestCheckBoxHeader::sortArrowKeepsClearOfTheLabel()
{
    Table table({ "10.0.0.1" });
    QVERIFY(QTest::qWaitForWindowExposed(&table.page));
    table.ClickSection(1);
    QCOMPARE(table.Header()->sortIndicatorSection(), 1);
    const QImage picture = table.Picture();
    const QRect rect = table.Section(1);

    // Columns of ink from the section's right edge inwards: the arrow, a gap,
    // then the label.
    auto inkAt = [&](int x) {
        for (int y = 1; y < rect.height() - 2; ++y) {
            if (Ink(picture.pixel(x, y)))
                return true;
        }
        return false;
    };
    int x = rect.right() - 1;
    while (x > rect.left() && !inkAt(x))
        --x;
    const int arrowRight = x;
    while (x > rect.left() && inkAt(x))
        --x;
    const int arrowLeft = x + 1;
    int gap = 0;
    while (x > rect.left() && !inkAt(x)) {
        --x;
        ++gap;
    }
    QVERIFY2(arrowRight - arrowLeft + 1 < 16, qPrintable(QStringLiteral("arrow %1-%2").arg(arrowLeft).arg(arrowRight)));
    QVERIFY2(x > rect.left(), "no label left of the arrow");
    QVERIFY2(gap >= 3, qPrintable(QStringLiteral("%1 px between label and arrow").arg(gap)));
}

QTEST_MAIN(TestCheckBoxHeader)
#include "tst_checkboxheader.moc"
