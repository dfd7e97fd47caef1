#include "TfrmCopFormulacao.h"

#include <house/widgets/TBtnPesquisa.h>
#include <house/widgets/TButtonFlat.h>
#include <house/widgets/TDateEditPlus.h>

#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

// Positions and sizes are those of the screen's form definition (left, top, width, height).
namespace {

constexpr int ClientLeft = 208;
constexpr int ClientTop = 159;
constexpr int ClientWidth = 412;
constexpr int ClientHeight = 205;
constexpr int DataWidth = 357;

struct GroupPlace
{
    const char16_t *box;
    const char16_t *caption;
    int left, top, width;
    const char16_t *allRadio;
    const char16_t *allCaption;
    const char16_t *listRadio;
    const char16_t *button;
    int buttonTop;
};

constexpr int GroupHeight = 70;
constexpr QRect AllRadioRect(6, 16, 79, 17);
constexpr QRect ListRadioRect(6, 41, 69, 17);
constexpr int ButtonLeft = 80;

QString text(const char16_t *s) { return QString::fromUtf16(s); }

QFont bold(QFont font)
{
    font.setBold(true);
    return font;
}

} // namespace

void TfrmCopFormulacao::CreateControls()
{
    setObjectName(QStringLiteral("frmCopFormulacao"));
    setWindowTitle(QStringLiteral("Copiar Formulação"));
    ArrangeFrame(ClientWidth, ClientHeight, DataWidth);
    move(ClientLeft, ClientTop);
    lblCodTela->setText(QStringLiteral("RBX53207"));

    // Explicitly not bold, so the controls inside a group do not take its bold caption font.
    QFont normal = font();
    normal.setBold(false);
    const GroupPlace places[] = {
        {u"grpPaciente", u"Paciente (Internado)", 6, 7, 130, u"rbtTPaci", u"Todos", u"rbtLPaci", u"btpPaci", 40},
        {u"grbServico", u"Serviço", 134, 7, 110, u"rbtTServ", u"Todos", u"rbtLServ", u"btpServico", 38},
        {u"grbDieta", u"Dieta", 242, 7, 110, u"rbtTDieta", u"Todas", u"rbtLDieta", u"btpDieta", 38},
        {u"grbAndar", u"Andar", 6, 77, 130, u"rbtTAndar", u"Todos", u"rbtLAndar", u"btpAndar", 38},
        {u"grbAla", u"Ala", 134, 77, 110, u"rbtTAla", u"Todas", u"rbtLAla", u"btpAla", 38},
        {u"grbLeito", u"Leito", 242, 77, 110, u"rbtTLeito", u"Todos", u"rbtLLeito", u"btpLeito", 38},
    };
    QGroupBox **boxes[] = {&grpPaciente, &grbServico, &grbDieta, &grbAndar, &grbAla, &grbLeito};
    QRadioButton **allRadios[] = {&rbtTPaci, &rbtTServ, &rbtTDieta, &rbtTAndar, &rbtTAla, &rbtTLeito};
    QRadioButton **listRadios[] = {&rbtLPaci, &rbtLServ, &rbtLDieta, &rbtLAndar, &rbtLAla, &rbtLLeito};
    TBtnPesquisa **buttons[] = {&btpPaci, &btpServico, &btpDieta, &btpAndar, &btpAla, &btpLeito};
    TDataSource *sources[] = {&dtsPaciente, &dtsServico, &dtsDieta, &dtsAndar, &dtsAla, &dtsLeito};

    for (int g = 0; g < 6; ++g) {
        const GroupPlace &place = places[g];
        auto *box = new QGroupBox(text(place.caption), grbDadosRel);
        box->setObjectName(text(place.box));
        box->setGeometry(place.left, place.top, place.width, GroupHeight);
        box->setFont(bold(normal)); // the caption is bold, the controls inside are not

        auto *all = new QRadioButton(text(place.allCaption), box);
        all->setObjectName(text(place.allRadio));
        all->setGeometry(AllRadioRect);
        all->setFont(normal);
        all->setChecked(true);

        auto *list = new QRadioButton(QStringLiteral("Lista"), box);
        list->setObjectName(text(place.listRadio));
        list->setGeometry(ListRadioRect);
        list->setFont(normal);

        auto *button = new TBtnPesquisa(box);
        button->setObjectName(text(place.button));
        button->move(ButtonLeft, place.buttonTop);
        button->setEnabled(false);
        button->Associate = list;
        button->DataSource = sources[g];

        *boxes[g] = box;
        *allRadios[g] = all;
        *listRadios[g] = list;
        *buttons[g] = button;
    }
    btpAndar->Title = QStringLiteral("Paciente");

    Label1 = new QLabel(QStringLiteral("Data Origem"), grbDadosRel);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(bold(normal));
    Label1->move(6, 155);
    Label1->adjustSize();
    Label2 = new QLabel(QStringLiteral("Data Destino"), grbDadosRel);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(bold(normal));
    Label2->move(6, 180);
    Label2->adjustSize();

    const QStringList weekdays = {QStringLiteral("Domingo"), QStringLiteral("Segunda"), QStringLiteral("Terça"),
                                  QStringLiteral("Quarta"),  QStringLiteral("Quinta"),  QStringLiteral("Sexta"),
                                  QStringLiteral("Sábado")};
    auto makeDateEdit = [&](const QString &name, int top) {
        auto *edit = new TDateEditPlus(grbDadosRel);
        edit->setObjectName(name);
        edit->setGeometry(85, top, 100, 21);
        QPalette colours = edit->palette();
        colours.setColor(QPalette::Base, colours.color(QPalette::ToolTipBase));
        edit->setPalette(colours);
        edit->ValidDateColor = Qt::blue;
        edit->SaveTime = false;
        edit->SetNomeSemana(weekdays);
        return edit;
    };
    depOrigem = makeDateEdit(QStringLiteral("depOrigem"), 152);
    depDestino = makeDateEdit(QStringLiteral("depDestino"), 177);
    Label1->setBuddy(depOrigem);
    Label2->setBuddy(depDestino);

    // Tab order: the six groups (the checked radio of each is its stop, then its search
    // button), the two dates, then Confirm.
    QWidget *chain[] = {rbtTPaci,  rbtLPaci,   btpPaci,   rbtTServ,   rbtLServ,   btpServico, rbtTDieta,
                        rbtLDieta, btpDieta,   rbtTAndar, rbtLAndar,  btpAndar,   rbtTAla,    rbtLAla,
                        btpAla,    rbtTLeito,  rbtLLeito, btpLeito,   depOrigem,  depDestino, sbtConfirma};
    for (std::size_t i = 1; i < std::size(chain); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}
