#pragma once

#include <screen/TfrmCopFormulacao.h>

#include <QPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace rbx {

// A freshly created screen, freed however it ends.
struct ScreenUnderTest
{
    QPointer<TfrmCopFormulacao> screen = new TfrmCopFormulacao;
    ~ScreenUnderTest() { delete screen.data(); }
    TfrmCopFormulacao *operator->() const { return screen.data(); }
};

// The first column of the first row, or -1 when the statement fails.
inline int scalar(QSqlDatabase db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql) || !query.next())
        return -1;
    return query.value(0).toInt();
}

} // namespace rbx
