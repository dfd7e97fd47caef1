#pragma once

#include "rbx_house_widgets_export.h"

#include "DialogSeam.h"

#include <QDialog>
#include <QStringList>

class PickListModel;
class QLabel;
class QPushButton;
class QTableView;

// The house library's pick list: the rows of a data source with one check per row. When there
// is nothing to pick it shows the request's empty text instead of the grid.
class RBX_HOUSE_WIDGETS_EXPORT PickListDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PickListDialog)

public:
    explicit PickListDialog(const PickRequest &request, QWidget *parent = nullptr);

    // The checked rows' keys in row order.
    QStringList pickedKeys() const;
    PickListModel *model() const { return m_model; }
    QTableView *view() const { return m_view; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void sizeColumns();

    PickListModel *m_model;
    QTableView *m_view;
    QLabel *m_emptyLabel;
};
