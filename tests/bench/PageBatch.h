#pragma once

// What the page batches share: the devices listed on the page as a search
// lists them, every row ticked through the table's header box, and the text
// a row's status column shows.

#include "CheckBoxHeaderView.h"
#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"

#include <QtTest>

namespace bench
{
// Lists devices on page (its table is m_pDeviceTableView) and ticks them all.
template <typename Page> CheckBoxTableView* ListAndTickAll(Page& page, const QList<DeviceInfo*>& devices)
{
    DeviceInfoMng::Instance()->ReplaceLanDevices(devices);
    page.RefreshDeviceList();
    auto* view = page.template findChild<CheckBoxTableView*>(QStringLiteral("m_pDeviceTableView"));
    CheckBoxHeaderView* header = view->checkBoxHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, header->boxRect(0).center());
    return view;
}

inline QString StatusText(int status)
{
    DeviceInfo device;
    device.m_status = status;
    return device.StatusText();
}

// The status column (header text 44) of a row as the table shows it.
inline QString RowStatus(const CheckBoxTableView& view, int row)
{
    const int column = CheckBoxTableModel::FromViewModel(view.model())->columnOfHeader(44);
    return view.model()->index(row, column).data().toString();
}
} // namespace bench
