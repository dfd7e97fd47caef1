#pragma once

#include <house/rbx_house_export.h>

#include <QString>
#include <QStringList>

class QObject;
class TDataSource;

// The selection list format: every picked code with "_" directly before and after it
// ("_A__B_"); the empty string means nothing picked.
RBX_HOUSE_EXPORT QString joinSelectionList(const QStringList &codes);
// The codes of a selection list, in order; "T" (the all-mode marker) and "" give none.
RBX_HOUSE_EXPORT QStringList splitSelectionList(const QString &list);

// Modal pick list over the data source's rows, one check per row. The title is the caption,
// a "|", and the text shown when there is nothing to pick. OK writes the checked rows' values
// of keyColumn into list in row order (empty when none is checked); Cancel leaves list as it
// was. singleChoice lets at most one row be checked. Returns whether the user confirmed.
// Raises when the data source has no data set or the key column does not exist.
RBX_HOUSE_EXPORT bool PesquisaLista(TDataSource &dataSource, const QString &keyColumn, const QString &title,
                                    bool singleChoice, QString &list, QObject *parent = nullptr);
