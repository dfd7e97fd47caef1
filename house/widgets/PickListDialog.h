#pragma once

#include "rbx_house_widgets_export.h"

#include "DialogSeam.h"

#include <QDialog>
#include <QStringList>

class PickListModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

// The house library's pick list: the rows of a data source with one check per row, a search
// above them that narrows the rows as it is typed, columns sorted in Portuguese order by a
// click on their header, and how many rows are checked. When there is nothing to pick it
// shows the request's empty text instead of the grid.
class RBX_HOUSE_WIDGETS_EXPORT PickListDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PickListDialog)

public:
    explicit PickListDialog(const PickRequest &request, QWidget *parent = nullptr);

    // The checked rows' keys in the data source's order, however the rows are shown.
    QStringList pickedKeys() const;
    PickListModel *model() const { return m_model; }
    QTableView *view() const { return m_view; }
    QLineEdit *searchField() const { return m_search; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void sizeColumns();
    void toggleCurrent();
    void showCheckedCount();

    PickListModel *m_model;
    QLineEdit *m_search;
    QTableView *m_view;
    QLabel *m_emptyLabel;
    QLabel *m_checkedLabel;
};
