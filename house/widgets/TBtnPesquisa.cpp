#include "TBtnPesquisa.h"

#include "HouseGlyphs.h"

TBtnPesquisa::TBtnPesquisa(QWidget *parent) : QToolButton(parent)
{
    setFixedSize(Side, Side);
    setIcon(HouseGlyphs::search());
    setIconSize(QSize(15, 15));
    setToolTip(QStringLiteral("Pesquisar"));
    setFocusPolicy(Qt::StrongFocus);
}
