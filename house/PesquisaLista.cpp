#include "PesquisaLista.h"

#include "DialogSeam.h"
#include <protocol/HouseError.h>
#include "RowSource.h"

QString joinSelectionList(const QStringList &codes)
{
    QString list;
    for (const QString &code : codes)
        list += u'_' + code + u'_';
    return list;
}

QStringList splitSelectionList(const QString &list)
{
    QStringList codes;
    if (list.size() < 2 || !list.startsWith(u'_') || !list.endsWith(u'_'))
        return codes;
    // "_A__B_": drop the outer marks, then every "__" separates two codes.
    const QString inner = list.mid(1, list.size() - 2);
    for (const QString &code : inner.split(QStringLiteral("__")))
        codes.append(code);
    return codes;
}

bool PesquisaLista(TDataSource &dataSource, const QString &keyColumn, const QString &title, bool singleChoice,
                   QString &list, QObject *parent)
{
    RowSource *source = dataSource.DataSet();
    if (!source)
        throw rbx::EDataSetError(QStringLiteral("%1 não está ligado a um conjunto de dados.").arg(dataSource.Name()));
    const RowTable table = source->rowTable();
    const int key = table.columnIndex(keyColumn);
    if (key < 0)
        throw rbx::EDataSetError(QStringLiteral("%1: campo '%2' não encontrado.").arg(dataSource.Name(), keyColumn));

    PickRequest request;
    request.parent = parent;
    request.rows = &table;
    request.keyColumn = key;
    const qsizetype bar = title.indexOf(u'|');
    request.caption = bar < 0 ? title : title.left(bar);
    request.emptyText = bar < 0 ? QString() : title.mid(bar + 1);
    request.singleChoice = singleChoice;
    request.preselected = splitSelectionList(list);

    const std::optional<QStringList> picked = dialogSeam().pick(request);
    if (!picked)
        return false;
    list = joinSelectionList(*picked);
    return true;
}
