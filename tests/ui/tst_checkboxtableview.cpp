#include "CheckBoxHeaderView.h"
#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceFixtures.h"

#include <QApplication>
#include <QBrush>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QtTest>

using TestSupport::NewDevice;

namespace
{
// A page's table: the view with its model and proxy, shown.
struct Table
{
    Table(int kind, int checkColumn, const QStringList& ips, int httpsColumn = -1)
    {
        view = new CheckBoxTableView(&page);
        model = new CheckBoxTableModel(view, kind, checkColumn);
        proxy = model->proxyModel();
        if (httpsColumn == -1)
            view->setModel(proxy, checkColumn);
        else
            view->setModel(proxy, checkColumn, httpsColumn);
        for (const QString& ip : ips)
            devices << NewDevice(&page, ip);
        model->setDevices(devices);
        page.resize(1000, 400);
        view->resize(1000, 400);
        page.show();
    }

    QModelIndex ViewIndex(DeviceInfo* device, int column) const
    {
        return proxy->mapFromSource(model->index(model->rowOf(device), column));
    }

    QRect IndicatorRect(const QModelIndex& viewIndex) const
    {
        QStyleOptionViewItem option;
        option.initFrom(view->viewport());
        option.rect = view->visualRect(viewIndex);
        option.features = QStyleOptionViewItem::HasCheckIndicator;
        option.widget = view;
        return view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
    }

    void ClickCell(DeviceInfo* device, int column, bool insideBox)
    {
        const QModelIndex index = ViewIndex(device, column);
        const QRect cell = view->visualRect(index);
        const QPoint point = insideBox ? IndicatorRect(index).center() : QPoint(cell.right() - 3, cell.center().y());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, point);
    }

    void ClickHeaderBox(int section)
    {
        CheckBoxHeaderView* header = view->checkBoxHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, header->boxRect(section).center());
    }

    void ClickHeaderSection(int section)
    {
        CheckBoxHeaderView* header = view->checkBoxHeader();
        const QPoint middle(header->sectionViewportPosition(section) + header->sectionSize(section) / 2 + 10, 22);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, middle);
    }

    void MoveMouse(const QPoint& point)
    {
        QMouseEvent move(QEvent::MouseMove, point, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &move);
    }

    QStringList ShownIps() const
    {
        QStringList ips;
        for (int row = 0; row < proxy->rowCount(); ++row)
            ips << proxy->index(row, 1).data().toString();
        return ips;
    }

    QWidget page;
    CheckBoxTableView* view;
    CheckBoxTableModel* model;
    QSortFilterProxyModel* proxy;
    QList<DeviceInfo*> devices;
};
} // namespace

class TestCheckBoxTableView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<Qt::CheckState>(); }
    void init() { ZVAppSetting::Instance()->m_company = 0; }
    void viewIsSetUpForDeviceLists();
    void rowBoxTogglesOnlyInsideItsIndicator();
    void headerBoxChecksTheVisibleRows();
    void tableWithoutCheckColumnOnlySorts();
    void httpsBoxes_data();
    void httpsBoxes();
    void headerClickSortsAddressesNumerically();
    void hoverFollowsTheDeviceUnderTheCursor();
    void filterKeepsTheCurrentDevice();
    void columnsFollowTheirContents();

private:
    TestSupport::NumberedLanguageTexts m_texts;
};

void TestCheckBoxTableView::viewIsSetUpForDeviceLists()
{
    Table table(TableKindReboot, 0, { "10.0.0.1" });
    CheckBoxTableView* view = table.view;
    QVERIFY(!view->verticalHeader()->isVisible());
    QCOMPARE(view->checkBoxHeader()->height(), 30);
    QVERIFY(view->checkBoxHeader()->stretchLastSection());
    QVERIFY(view->checkBoxHeader()->isSortIndicatorShown());
    QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(view->selectionMode(), QAbstractItemView::SingleSelection);
    QVERIFY(!view->showGrid());
    QCOMPARE(view->focusPolicy(), Qt::NoFocus);
    QVERIFY(view->hasMouseTracking());
    QCOMPARE(view->headCheckState(), 0);

    ZVAppSetting::Instance()->m_company = 40;
    CheckBoxTableView unstretched;
    QVERIFY(!unstretched.checkBoxHeader()->stretchLastSection());
}

void TestCheckBoxTableView::rowBoxTogglesOnlyInsideItsIndicator()
{
    Table table(TableKindUpgrade, 0, { "10.0.0.1", "10.0.0.2" });
    DeviceInfo* device = table.devices.at(1);
    QSignalSpy clicks(table.view, &QAbstractItemView::clicked);

    table.ClickCell(device, 0, false);
    QCOMPARE(device->CheckState(TableKindUpgrade), 0);
    QCOMPARE(table.view->headCheckState(), 0);

    table.ClickCell(device, 0, true);
    QCOMPARE(device->CheckState(TableKindUpgrade), 2);
    QCOMPARE(table.view->headCheckState(), 1);
    QList<DeviceInfo*> checked;
    table.model->getCheckedDevices(checked);
    QCOMPARE(checked, QList<DeviceInfo*> { device });

    table.ClickCell(table.devices.at(0), 0, true);
    QCOMPARE(table.view->headCheckState(), 2);
    table.ClickCell(device, 0, true);
    QCOMPARE(device->CheckState(TableKindUpgrade), 0);
    QCOMPARE(table.view->headCheckState(), 1);

    // A box drawn nowhere else: a press in the same spot of another column does nothing.
    table.ClickCell(device, 3, true);
    QCOMPARE(device->CheckState(TableKindUpgrade), 0);
    QCOMPARE(clicks.count(), 5); // the page still hears every click
}

void TestCheckBoxTableView::headerBoxChecksTheVisibleRows()
{
    Table table(TableKindChangePassword, 0, { "10.0.0.1", "10.0.0.2", "192.168.1.3" });
    QSignalSpy changed(table.view, &CheckBoxTableView::headCheckChanged);
    table.ClickCell(table.devices.at(0), 0, true);
    QCOMPARE(table.view->headCheckState(), 1);

    // Partly checked becomes checked.
    table.ClickHeaderBox(0);
    QCOMPARE(table.view->headCheckState(), 2);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.last().at(0).value<Qt::CheckState>(), Qt::Checked);
    for (DeviceInfo* device : table.devices)
        QCOMPARE(device->CheckState(TableKindChangePassword), 2);

    table.ClickHeaderBox(0);
    QCOMPARE(table.view->headCheckState(), 0);
    for (DeviceInfo* device : table.devices)
        QCOMPARE(device->CheckState(TableKindChangePassword), 0);

    // With a filter only the rows shown are checked, and the header follows the filter.
    table.model->setFilterHeader(32);
    table.model->setFilterText("^10\\.");
    table.ClickHeaderBox(0);
    QCOMPARE(table.view->headCheckState(), 2);
    QCOMPARE(table.devices.at(2)->CheckState(TableKindChangePassword), 0);
    table.model->setFilterText(QString());
    QCOMPARE(table.view->headCheckState(), 1);
    QList<DeviceInfo*> checked;
    table.model->getCheckedDevices(checked);
    QCOMPARE(checked, (QList<DeviceInfo*> { table.devices.at(0), table.devices.at(1) }));
    QCOMPARE(table.proxy->sortColumn(), -1); // the box press did not sort

    table.model->clear();
    QCOMPARE(table.view->headCheckState(), 0);
}

void TestCheckBoxTableView::tableWithoutCheckColumnOnlySorts()
{
    Table table(TableKindSearch, -1, { "10.0.0.2", "10.0.0.1" });
    table.ClickHeaderBox(0);
    table.ClickCell(table.devices.at(0), 0, true);
    for (DeviceInfo* device : table.devices)
        QCOMPARE(device->CheckState(TableKindSearch), 0);
    QCOMPARE(table.view->headCheckState(), 0);
    // The press went to the header: column 0 (the numbers) was sorted.
    QCOMPARE(table.proxy->sortColumn(), 0);
}

void TestCheckBoxTableView::httpsBoxes_data()
{
    QTest::addColumn<int>("company");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("boxes");
    QTest::newRow("search, 20") << 20 << 0 << true;
    QTest::newRow("search, 42") << 42 << 0 << true;
    QTest::newRow("range search, 20") << 20 << 6 << true;
    QTest::newRow("search, 0") << 0 << 0 << false;
    QTest::newRow("range search, 0") << 0 << 6 << false;
}

void TestCheckBoxTableView::httpsBoxes()
{
    QFETCH(int, company);
    QFETCH(int, kind);
    QFETCH(bool, boxes);
    ZVAppSetting::Instance()->m_company = company;
    Table table(kind, 0, { "10.0.0.1", "10.0.0.2" }, 2);
    QSignalSpy changed(table.view, &CheckBoxTableView::headHttpsCheckChanged);
    QCOMPARE(table.view->checkBoxHeader()->showsHttpsBox(), boxes);

    table.ClickCell(table.devices.at(0), 2, true);
    QCOMPARE(table.devices.at(0)->m_httpsCheckState, boxes ? 2 : 0);
    QCOMPARE(table.view->headHttpsCheckState(), boxes ? 1 : 0);
    QCOMPARE(table.devices.at(0)->CheckState(kind), 0);

    table.ClickHeaderBox(2);
    QCOMPARE(changed.count(), boxes ? 1 : 0);
    for (DeviceInfo* device : table.devices)
        QCOMPARE(device->m_httpsCheckState, boxes ? 2 : 0);
    QCOMPARE(table.view->headHttpsCheckState(), boxes ? 2 : 0);
    // Without boxes the press sorts by column 2.
    QCOMPARE(table.proxy->sortColumn(), boxes ? -1 : 2);
    QCOMPARE(table.view->headCheckState(), 0);
}

void TestCheckBoxTableView::headerClickSortsAddressesNumerically()
{
    Table table(TableKindUpgrade, 0, { "10.0.0.100", "10.0.0.9", "10.0.0.10", "9.0.0.1" });
    table.ClickHeaderSection(1);
    QStringList ascending = { "9.0.0.1", "10.0.0.9", "10.0.0.10", "10.0.0.100" };
    QStringList descending = ascending;
    std::reverse(descending.begin(), descending.end());
    const Qt::SortOrder first = table.view->checkBoxHeader()->sortIndicatorOrder();
    QCOMPARE(table.proxy->sortColumn(), 1);
    QCOMPARE(table.ShownIps(), first == Qt::AscendingOrder ? ascending : descending);

    // Each click flips the order.
    table.ClickHeaderSection(1);
    QVERIFY(table.view->checkBoxHeader()->sortIndicatorOrder() != first);
    QCOMPARE(table.ShownIps(), first == Qt::AscendingOrder ? descending : ascending);
}

void TestCheckBoxTableView::hoverFollowsTheDeviceUnderTheCursor()
{
    Table table(TableKindReboot, 0, { "10.0.0.3", "10.0.0.1", "10.0.0.2" });
    table.proxy->sort(1, Qt::AscendingOrder);
    DeviceInfo* first = table.devices.at(1); // 10.0.0.1 is shown first
    const QModelIndex ipCell = table.ViewIndex(first, 1);
    QCOMPARE(ipCell.row(), 0);

    table.MoveMouse(table.view->visualRect(ipCell).center());
    QCOMPARE(table.view->hoverRow(), table.model->rowOf(first));
    QCOMPARE(table.model->hoverRow(), 1);
    QCOMPARE(table.proxy->index(0, 4).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 255, 255));
    QVERIFY(!table.proxy->index(1, 4).data(Qt::BackgroundRole).isValid());
    QCOMPARE(table.view->viewport()->cursor().shape(), Qt::PointingHandCursor);

    const QModelIndex otherCell = table.ViewIndex(table.devices.at(0), 3);
    table.MoveMouse(table.view->visualRect(otherCell).center());
    QCOMPARE(table.view->hoverRow(), 0);
    QCOMPARE(table.view->viewport()->cursor().shape(), Qt::ArrowCursor);

    table.MoveMouse(QPoint(5, table.view->viewport()->height() - 5)); // below the rows
    QCOMPARE(table.view->hoverRow(), -1);

    table.MoveMouse(table.view->visualRect(ipCell).center());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(table.view, &leave);
    QCOMPARE(table.view->hoverRow(), -1);
    QCOMPARE(table.model->hoverRow(), -1);
}

void TestCheckBoxTableView::filterKeepsTheCurrentDevice()
{
    QStringList ips;
    for (int i = 1; i <= 40; ++i)
        ips << QStringLiteral("10.0.0.%1").arg(i);
    Table table(TableKindSearch, 0, ips);
    table.proxy->sort(1);
    DeviceInfo* current = table.devices.at(16); // 10.0.0.17
    table.view->setCurrentIndex(table.ViewIndex(current, 1));
    QCOMPARE(table.view->selectionModel()->selectedRows().size(), 1);

    table.model->setFilterHeader(32);
    table.model->setFilterText("[13579]$");
    QCOMPARE(table.proxy->rowCount(), 20);
    QCOMPARE(table.view->verticalHeader()->count(), 20);
    QCOMPARE(table.model->deviceAt(table.view->currentIndex()), current);
    QCOMPARE(table.model->deviceAt(table.view->selectionModel()->selectedRows().value(0)), current);
    QVERIFY(table.view->visualRect(table.proxy->index(19, 1)).isValid());

    // Filtered out: no current device any more, and nothing stale behind the index.
    table.model->setFilterText("[02468]$");
    QCOMPARE(table.view->verticalHeader()->count(), 20);
    QVERIFY(table.model->deviceAt(table.view->currentIndex()) != current);
    table.model->setFilterText(QString());
    QCOMPARE(table.view->verticalHeader()->count(), 40);
}

void TestCheckBoxTableView::columnsFollowTheirContents()
{
    Table table(TableKindSearch, 0, { "10.0.0.1", "10.0.0.2" });
    CheckBoxTableView* view = table.view;
    const int nameColumn = 5;
    view->setColumnWidth(nameColumn, 130); // as the search page sets it
    view->setColumnWidth(2, 300);
    // A cell shows one line; its column is as wide as its widest cell.
    QVERIFY(!view->wordWrap());
    auto fits = [&](int column) {
        for (int row = 0; row < table.proxy->rowCount(); ++row) {
            const QModelIndex index = table.proxy->index(row, column);
            if (view->itemDelegate()->sizeHint(QStyleOptionViewItem(), index).width() > view->columnWidth(column))
                return false;
        }
        return true;
    };

    CopyLatin1(QStringLiteral("Camera 1 at the west gate"), table.devices.at(0)->m_searchRsp.deviceName);
    table.model->setDevices(table.devices);
    QVERIFY(view->columnWidth(nameColumn) > 130);
    for (int column = 0; column < table.proxy->columnCount() - 1; ++column)
        QVERIFY2(fits(column), qPrintable(QString::number(column)));
    // A width given to a column stays where its cells need less.
    QCOMPARE(view->columnWidth(2), 300);

    // A row that changes to a longer text widens its column too.
    const int before = view->columnWidth(nameColumn);
    CopyLatin1(QStringLiteral("Camera 2 at the east gate, north yard"), table.devices.at(1)->m_searchRsp.deviceName);
    table.model->updateDevice(table.devices.at(1));
    QVERIFY(view->columnWidth(nameColumn) > before);
    QVERIFY(fits(nameColumn));

    // A larger font: the same texts are measured again when their rows change.
    const int small = view->columnWidth(nameColumn);
    QFont large = view->font();
    large.setPointSize(large.pointSize() * 3);
    view->setFont(large);
    table.model->updateDevices(table.devices);
    QVERIFY(view->columnWidth(nameColumn) > small);
    for (int column = 0; column < table.proxy->columnCount() - 1; ++column)
        QVERIFY2(fits(column), qPrintable(QString::number(column)));
}

QTEST_MAIN(TestCheckBoxTableView)
#include "tst_checkboxtableview.moc"
