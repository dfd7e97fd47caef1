#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <house/DialogSeam.h>

#include <QDialog>
#include <QList>
#include <QStringList>

class PickListModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

// The house library's pick list: the rows of a data source with one check per row, a search
// above them that narrows the rows as it is typed, columns sorted in Portuguese order by a
// click on their header (dates by date), how many rows the search shows and how many are
// checked. When there is nothing to pick it shows the request's empty text instead of the grid.
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
    // Sets the columns' widths within the room (pixels after the check column); their sum.
    int fitColumnsInto(int room);
    void toggleCurrent();
    void showCheckedCount();
    void showMatchCount();

    PickListModel *m_model;
    QLineEdit *m_search;
    QTableView *m_view;
    QLabel *m_emptyLabel;
    QLabel *m_checkedLabel;
    QLabel *m_matchLabel; // how many rows the search shows, of how many
    // per column after the check: what its longest text needs, and that with its label
    QList<int> m_textWidths;
    QList<int> m_wantedWidths;
    int m_checkWidth = 0;
};
