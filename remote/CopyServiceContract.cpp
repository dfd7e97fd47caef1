#include "CopyServiceContract.h"

namespace CopyService {

using K = Wire::Arg::Kind;
using F = Wire::FieldType;

const QList<MethodSignature> &methods()
{
    static const QList<MethodSignature> table = {
        {QStringLiteral("getNutricio"), {K::Text, K::Text}},
        {QStringLiteral("getPaciente"), {K::Text}},
        {QStringLiteral("getServInte"),
         {K::Text, K::Date, K::Text, K::Text, K::Text, K::Text, K::Text, K::Text, K::Text, K::Text, K::Text, K::Text,
          K::Text, K::Text, K::Text}},
        {QStringLiteral("DelServ"), {K::Text, K::Date, K::Text, K::Text, K::Text}},
        {QStringLiteral("getNrServInte"), {K::Text, K::Date, K::Text}},
        {QStringLiteral("InsServInte"),
         {K::Text, K::Date, K::Text, K::Text, K::Text, K::Text, K::Text, K::Text, K::Text, K::Text, K::Text, K::Text,
          K::Text, K::Date, K::Text, K::Text}},
        {QStringLiteral("getNrConfesco"), {K::Text, K::Date, K::Text, K::Text}},
        {QStringLiteral("getConfesco"), {K::Text, K::Text, K::Date, K::Text}},
        {QStringLiteral("InsConfesco"),
         {K::Text, K::Date, K::Text, K::Text, K::Text, K::Text, K::Double, K::Double, K::Double, K::Double, K::Text,
          K::Text, K::Text, K::Text, K::Text, K::Double}},
    };
    return table;
}

const MethodSignature *findMethod(const QString &name)
{
    for (const MethodSignature &method : methods()) {
        if (method.name == name)
            return &method;
    }
    return nullptr;
}

const QList<FieldLayout> &nutricioLayout()
{
    static const QList<FieldLayout> layout = {{QStringLiteral("CDNUTRICIO"), F::String, 3}};
    return layout;
}

const QList<FieldLayout> &pacienteLayout()
{
    static const QList<FieldLayout> layout = {
        {QStringLiteral("IDMARCADO"), F::FixedString, 1},
        {QStringLiteral("CDPACIENTE"), F::String, 12, QStringLiteral("Código"), 15},
        {QStringLiteral("NMPACIENTE"), F::String, 80, QStringLiteral("Nome"), 40},
        {QStringLiteral("NMLEITO"), F::String, 40, QStringLiteral("Leito"), 15},
        {QStringLiteral("NMSERPADDIE"), F::String, 30, QStringLiteral("Padrão de Internação"), 25},
        {QStringLiteral("DTINTERNA"), F::DateTime, 0, QStringLiteral("Data de Internação"), 22},
        {QStringLiteral("DTNASCPACI"), F::DateTime, 0, QStringLiteral("Data de Nasc."), 15},
    };
    return layout;
}

const QList<FieldLayout> &servInteLayout()
{
    static const QList<FieldLayout> layout = {
        {QStringLiteral("CDPACIENTE"), F::String, 12},   {QStringLiteral("DTSERVINTE"), F::DateTime},
        {QStringLiteral("NRSEQUSERV"), F::String, 2},    {QStringLiteral("CDFILIAL"), F::String, 4},
        {QStringLiteral("CDSERVFILI"), F::String, 5},    {QStringLiteral("CDDIETPAD"), F::String, 4},
        {QStringLiteral("NRACOMPANA"), F::String, 4},    {QStringLiteral("STPACIACOM"), F::String, 1},
        {QStringLiteral("IDIMPRSERV"), F::String, 1},    {QStringLiteral("IDTIPOSERINT"), F::String, 1},
        {QStringLiteral("IDRESTSERIN"), F::String, 1},   {QStringLiteral("CDDIETGRUPSI"), F::String, 4},
        {QStringLiteral("CDNUTRICIO"), F::String, 3},    {QStringLiteral("DTINTERNA"), F::DateTime},
        {QStringLiteral("DSSERVINTE"), F::String, 255, {}, 255}, {QStringLiteral("NRSERVPESO"), F::Float},
    };
    return layout;
}

const QList<FieldLayout> &nrServInteLayout()
{
    static const QList<FieldLayout> layout = {{QStringLiteral("NRSEQUSERV"), F::String, 2}};
    return layout;
}

const QList<FieldLayout> &nrConfescoLayout()
{
    static const QList<FieldLayout> layout = {{QStringLiteral("CDSEQUCOPR"), F::String, 4}};
    return layout;
}

const QList<FieldLayout> &confescoLayout()
{
    static const QList<FieldLayout> layout = {
        {QStringLiteral("CDPACIENTE"), F::String, 12},  {QStringLiteral("DTSERVINTE"), F::DateTime},
        {QStringLiteral("NRSEQUSERV"), F::String, 2},   {QStringLiteral("CDSEQUCOPR"), F::String, 4},
        {QStringLiteral("CDFILAUXPRAT"), F::String, 4}, {QStringLiteral("CDPRATO"), F::String, 10},
        {QStringLiteral("QTSERVCONF"), F::Float},       {QStringLiteral("QTPRATCONF"), F::Float},
        {QStringLiteral("QTINFUCONF"), F::Float},       {QStringLiteral("HRCONSCONF"), F::Float},
        {QStringLiteral("DTCONSCONF"), F::DateTime},    {QStringLiteral("CDPRODUTO"), F::String, 10},
        {QStringLiteral("CDVIACESDIET"), F::String, 3}, {QStringLiteral("IDPREPCONF"), F::String, 1},
        {QStringLiteral("DSOBSCONF"), F::String, 255, {}, 255},
    };
    return layout;
}

QList<Wire::PacketField> packetFields(const QList<FieldLayout> &layout)
{
    QList<Wire::PacketField> fields;
    fields.reserve(layout.size());
    for (const FieldLayout &field : layout)
        fields.append({field.name, field.type, field.size});
    return fields;
}

} // namespace CopyService
