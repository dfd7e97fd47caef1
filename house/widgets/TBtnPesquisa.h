#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <QPointer>
#include <QToolButton>

#include <QAbstractButton>
class TDataSource;

// The 21 × 21 search button beside a filter: hint "Pesquisar", a glyph with an enabled and a
// disabled look, and the radio and data source it serves.
class RBX_HOUSE_WIDGETS_EXPORT TBtnPesquisa final : public QToolButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TBtnPesquisa)

public:
    static constexpr int Side = 21;

    explicit TBtnPesquisa(QWidget *parent = nullptr);

    QPointer<QAbstractButton> Associate;
    TDataSource *DataSource = nullptr;
    QString Title;
};
