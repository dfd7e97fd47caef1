#include "CopyServiceContract.h"

#include <stdexcept>

namespace rbx {

using namespace Qt::StringLiterals;

namespace CopyService {

namespace {

using K = Wire::Arg::Kind;
using F = Wire::FieldType;

// A text argument stored in (or compared with) the column of the same name.
Argument text(const QString &table, const QString &column, bool byRef = false)
{
    return {column, K::Text, byRef, &Schema::column(table, column)};
}
Argument textRef(const QString &table, const QString &column) { return text(table, column, true); }
// A text that is no column value: a filter list or flag, sent by reference.
Argument listRef(const QString &name) { return {name, K::Text, true, nullptr}; }
Argument date(const QString &name) { return {name, K::Date, false, nullptr}; }
Argument number(const QString &name) { return {name, K::Double, false, nullptr}; }

// A packet field of the column of that name, typed and sized as the schema has it.
FieldLayout field(const QString &table, const QString &column, const QString &label = {}, int displayWidth = 0)
{
    const Schema::Column &c = Schema::column(table, column);
    F type = F::String;
    switch (c.type) {
    case Schema::ColumnType::FixedText:
    case Schema::ColumnType::Text: type = F::String; break;
    case Schema::ColumnType::DateTime: type = F::DateTime; break;
    // a run's number travels as the counters always did
    case Schema::ColumnType::Float:
    case Schema::ColumnType::Serial:
    case Schema::ColumnType::SerialReference: type = F::Float; break;
    }
    return {column, type, type == F::String ? c.size : 0, label, displayWidth};
}

// The fields of those columns; the description column shows at its full width.
QList<FieldLayout> fields(const QString &table, const QStringList &columns, const QString &description)
{
    QList<FieldLayout> layout;
    for (const QString &column : columns) {
        layout.append(field(table, column));
        if (column == description)
            layout.last().displayWidth = layout.last().size;
    }
    return layout;
}

QList<FieldLayout> buildPaciente()
{
    return {
        // a marker column of the pick list: no column of any table
        {u"IDMARCADO"_s, F::FixedString, 1},
        field(u"PACIENTE"_s, u"CDPACIENTE"_s, u"Código"_s, 15),
        field(u"PACIENTE"_s, u"NMPACIENTE"_s, u"Nome"_s, 40),
        field(u"LEITO"_s, u"NMLEITO"_s, u"Leito"_s, 15),
        field(u"PADRAOSERV"_s, u"NMSERPADDIE"_s, u"Padrão de Internação"_s, 25),
        field(u"INTERNAC"_s, u"DTINTERNA"_s, u"Data de Internação"_s, 22),
        field(u"PACIENTE"_s, u"DTNASCPACI"_s, u"Data de Nasc."_s, 15),
    };
}

QList<Argument> servInteArgs()
{
    QList<Argument> args = {textRef(u"SERVINTE"_s, u"CDFILIAL"_s), date(u"DTSERVINTE"_s)};
    // the six groups, each its list and its all flag, as the query binds them
    for (const QString &group : {u"PACIENTE"_s, u"SERVICO"_s, u"DIETA"_s, u"ANDAR"_s, u"ALA"_s, u"LEITO"_s})
        args << listRef(u"L_"_s + group) << listRef(u"T_"_s + group);
    args << text(u"SERVICO"_s, u"IDTPSERVHOSP"_s);
    return args;
}

QList<MethodSignature> build()
{
    const QString S = u"SERVINTE"_s, C = u"CONFESCO"_s;
    QList<MethodSignature> all = {
        {MethodId::getNutricio, u"getNutricio"_s, Access::Reads,
         {text(u"NUTRICIO"_s, u"CDOPERADOR"_s), textRef(u"NUTRICIO"_s, u"CDFILIAL"_s)}, {}, nutricioLayout()},
        {MethodId::getPaciente, u"getPaciente"_s, Access::Reads, {textRef(u"INTERNAC"_s, u"CDFILIAL"_s)}, {},
         pacienteLayout()},
        {MethodId::getServInte, u"getServInte"_s, Access::Reads, servInteArgs(), {}, servInteLayout()},
        {MethodId::DelServ, u"DelServ"_s, Access::Writes,
         {text(S, u"CDPACIENTE"_s), date(u"DTSERVINTE"_s), text(S, u"CDFILIAL"_s), text(S, u"CDSERVFILI"_s),
          text(S, u"CDDIETPAD"_s)},
         {}, {}},
        {MethodId::getNrServInte, u"getNrServInte"_s, Access::Reads,
         {text(S, u"CDPACIENTE"_s), date(u"DTSERVINTE"_s), textRef(S, u"CDFILIAL"_s)}, {}, nrServInteLayout()},
        {MethodId::InsServInte, u"InsServInte"_s, Access::Writes,
         {text(S, u"CDPACIENTE"_s), date(u"DTSERVINTE"_s), textRef(S, u"NRSEQUSERV"_s), text(S, u"CDFILIAL"_s),
          text(S, u"CDSERVFILI"_s), text(S, u"CDDIETPAD"_s), text(S, u"NRACOMPANA"_s), text(S, u"STPACIACOM"_s),
          text(S, u"IDIMPRSERV"_s), text(S, u"IDTIPOSERINT"_s), text(S, u"IDRESTSERIN"_s),
          text(u"NUTRICIO"_s, u"CDOPERADOR"_s), text(S, u"CDDIETGRUPSI"_s), date(u"DTINTERNA"_s),
          text(S, u"DSSERVINTE"_s),
          // the weight as text in the client's locale
          text(S, u"NRSERVPESO"_s)},
         {}, {}},
        {MethodId::getNrConfesco, u"getNrConfesco"_s, Access::Reads,
         {text(C, u"CDPACIENTE"_s), date(u"DTSERVINTE"_s), textRef(C, u"NRSEQUSERV"_s), textRef(C, u"CDFILIAL"_s)},
         {}, nrConfescoLayout()},
        {MethodId::getConfesco, u"getConfesco"_s, Access::Reads,
         {text(C, u"CDPACIENTE"_s), text(C, u"NRSEQUSERV"_s), date(u"DTSERVINTE"_s), textRef(C, u"CDFILIAL"_s)}, {},
         confescoLayout()},
        {MethodId::InsConfesco, u"InsConfesco"_s, Access::Writes,
         {text(C, u"CDPACIENTE"_s), date(u"DTSERVINTE"_s), textRef(C, u"NRSEQUSERV"_s), textRef(C, u"CDSEQUCOPR"_s),
          text(C, u"CDFILAUXPRAT"_s), text(C, u"CDPRATO"_s), number(u"QTSERVCONF"_s), number(u"QTPRATCONF"_s),
          number(u"HRCONSCONF"_s),
          // a date-time sent as a plain double
          number(u"DTCONSCONF"_s), text(C, u"CDPRODUTO"_s), text(C, u"CDVIACESDIET"_s), text(C, u"IDPREPCONF"_s),
          text(C, u"DSOBSCONF"_s), textRef(C, u"CDFILIAL"_s), number(u"QTINFUCONF"_s)},
         {}, {}},
        {MethodId::StartTransaction, u"StartTransaction"_s, Access::Transaction, {}, {}, {}},
        {MethodId::Commit, u"Commit"_s, Access::Transaction, {}, {}, {}},
        {MethodId::Rollback, u"Rollback"_s, Access::Transaction, {}, {}, {}},
        // one origin service copied to the destination date in one transaction, with the effect
        // of DelServ, getNrServInte, InsServInte, getNrConfesco, getConfesco and InsConfesco
        {MethodId::CopServInte, u"CopServInte"_s, Access::Writes,
         {text(S, u"CDPACIENTE"_s), date(u"DTSERVINTE"_s), text(S, u"NRSEQUSERV"_s), text(S, u"CDFILIAL"_s),
          date(u"DTDESTINO"_s), text(u"NUTRICIO"_s, u"CDOPERADOR"_s),
          // the run the copy belongs to: once one of its copies failed, the later ones are not run
          {u"IDEXECUCAO"_s, K::Text, false, nullptr}},
         {}, copServInteLayout()},
        // the run of the getServInte before it, with its destination and operator: its id answers
        {MethodId::AbreExecucao, u"AbreExecucao"_s, Access::Writes,
         {text(S, u"CDFILIAL"_s), date(u"DTDESTINO"_s), text(u"NUTRICIO"_s, u"CDOPERADOR"_s)}, {}, execucaoLayout()},
        // the run ends: C completed, F failed, I interrupted
        {MethodId::FechaExecucao, u"FechaExecucao"_s, Access::Writes,
         {{u"IDEXECUCAO"_s, K::Text, false, nullptr}, text(u"EXECCOPIA"_s, u"IDSITUACAO"_s)}, {}, {}},
        // the branch's runs started from DTDE to DTATE, days included (0: no bound)
        {MethodId::getExecucoes, u"getExecucoes"_s, Access::Reads,
         {text(u"EXECCOPIA"_s, u"CDFILIAL"_s), text(u"NUTRICIO"_s, u"CDOPERADOR"_s), date(u"DTDE"_s), date(u"DTATE"_s)},
         {}, execucoesLayout()},
        // puts the destination back as it was before the run, service by service
        {MethodId::DesfazExecucao, u"DesfazExecucao"_s, Access::Writes,
         {{u"IDEXECUCAO"_s, K::Text, false, nullptr}, text(u"NUTRICIO"_s, u"CDOPERADOR"_s)}, {}, desfazExecucaoLayout()},
        // the session's operator replaces its password: the new SCRAM verifier, never the password
        {MethodId::AlteraSenha, u"AlteraSenha"_s, Access::Writes,
         {text(u"OPERADOR"_s, u"CDOPERADOR"_s), text(u"OPERADOR"_s, u"DSVERIFSCRAM"_s)}, {}, {}},
        // the services of run IDEXECUCAO of the branch
        {MethodId::getServExecucao, u"getServExecucao"_s, Access::Reads,
         {{u"IDEXECUCAO"_s, K::Text, false, nullptr}, text(u"EXECCOPIA"_s, u"CDFILIAL"_s),
          text(u"NUTRICIO"_s, u"CDOPERADOR"_s)},
         {}, servExecucaoLayout()},
    };
    for (qsizetype i = 0; i < all.size(); ++i) {
        MethodSignature &method = all[i];
        if (int(method.id) != i)
            throw std::logic_error("methods out of the order of MethodId at " + method.name.toStdString());
        for (const Argument &arg : method.args)
            method.kinds.append(arg.kind);
    }
    return all;
}

} // namespace

int MethodSignature::position(const QString &argument) const
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i).name == argument)
            return int(i);
    }
    throw std::out_of_range(name.toStdString() + " has no argument " + argument.toStdString());
}

const QList<MethodSignature> &allMethods()
{
    static const QList<MethodSignature> table = build();
    return table;
}

const QList<MethodSignature> &classicMethods()
{
    static const QList<MethodSignature> classic = allMethods().mid(0, int(MethodId::CopServInte));
    return classic;
}

const QList<MethodSignature> &extensions()
{
    static const QList<MethodSignature> beyond = allMethods().mid(int(MethodId::CopServInte));
    return beyond;
}

const QList<MethodSignature> &methods()
{
    static const QList<MethodSignature> nine = allMethods().mid(0, int(MethodId::StartTransaction));
    return nine;
}

const MethodSignature &method(MethodId id) { return allMethods().at(int(id)); }

const MethodSignature *findMethod(const QString &name)
{
    for (const MethodSignature &method : allMethods()) {
        if (method.name == name)
            return &method;
    }
    return nullptr;
}

QString checkCall(const MethodSignature &method, const QList<Wire::Arg> &args)
{
    if (args.size() != method.args.size())
        return u"%1 takes %2 arguments, not %3"_s.arg(method.name).arg(method.args.size()).arg(args.size());
    for (qsizetype i = 0; i < args.size(); ++i) {
        const Argument &declared = method.args.at(i);
        if (args.at(i).kind != declared.kind || args.at(i).byRef != declared.byRef) {
            return u"%1 argument %2 (%3) must be %4%5"_s.arg(method.name)
                .arg(i + 1)
                .arg(declared.name, Wire::kindName(declared.kind), declared.byRef ? u" by reference"_s : QString());
        }
    }
    return {};
}

const QList<FieldLayout> &nutricioLayout()
{
    static const QList<FieldLayout> layout = {field(u"NUTRICIO"_s, u"CDNUTRICIO"_s)};
    return layout;
}

const QList<FieldLayout> &pacienteLayout()
{
    static const QList<FieldLayout> layout = buildPaciente();
    return layout;
}

const QList<FieldLayout> &servInteLayout()
{
    static const QList<FieldLayout> layout =
        fields(u"SERVINTE"_s,
               {u"CDPACIENTE"_s, u"DTSERVINTE"_s, u"NRSEQUSERV"_s, u"CDFILIAL"_s, u"CDSERVFILI"_s, u"CDDIETPAD"_s,
                u"NRACOMPANA"_s, u"STPACIACOM"_s, u"IDIMPRSERV"_s, u"IDTIPOSERINT"_s, u"IDRESTSERIN"_s,
                u"CDDIETGRUPSI"_s, u"CDNUTRICIO"_s, u"DTINTERNA"_s, u"DSSERVINTE"_s, u"NRSERVPESO"_s},
               u"DSSERVINTE"_s);
    return layout;
}

const QList<FieldLayout> &nrServInteLayout()
{
    static const QList<FieldLayout> layout = {field(u"SERVINTE"_s, u"NRSEQUSERV"_s)};
    return layout;
}

const QList<FieldLayout> &nrConfescoLayout()
{
    static const QList<FieldLayout> layout = {field(u"CONFESCO"_s, u"CDSEQUCOPR"_s)};
    return layout;
}

const QList<FieldLayout> &confescoLayout()
{
    static const QList<FieldLayout> layout =
        fields(u"CONFESCO"_s,
               {u"CDPACIENTE"_s, u"DTSERVINTE"_s, u"NRSEQUSERV"_s, u"CDSEQUCOPR"_s, u"CDFILAUXPRAT"_s, u"CDPRATO"_s,
                u"QTSERVCONF"_s, u"QTPRATCONF"_s, u"QTINFUCONF"_s, u"HRCONSCONF"_s, u"DTCONSCONF"_s, u"CDPRODUTO"_s,
                u"CDVIACESDIET"_s, u"IDPREPCONF"_s, u"DSOBSCONF"_s},
               u"DSOBSCONF"_s);
    return layout;
}

const QList<FieldLayout> &copServInteLayout()
{
    static const QList<FieldLayout> layout = {field(u"SERVINTE"_s, u"NRSEQUSERV"_s),
                                              {u"QTITENS"_s, F::Float, 0},
                                              {u"QTSUBSTITUIDOS"_s, F::Float, 0}};
    return layout;
}

const QList<FieldLayout> &execucaoLayout()
{
    static const QList<FieldLayout> layout = {field(u"EXECCOPIA"_s, u"IDEXECUCAO"_s)};
    return layout;
}

const QList<FieldLayout> &execucoesLayout()
{
    static const QList<FieldLayout> layout =
        fields(u"EXECCOPIA"_s,
               {u"IDEXECUCAO"_s, u"DTINICIO"_s, u"DTFIM"_s, u"CDOPERADOR"_s, u"IDTPSERVHOSP"_s, u"DTORIGEM"_s,
                u"DTDESTINO"_s, u"QTSERVICOS"_s, u"QTITENS"_s, u"IDSITUACAO"_s, u"DTDESFFIM"_s, u"CDOPERDESF"_s,
                u"DTDESFINI"_s},
               {})
        // the services an undo has put back so far
        << FieldLayout{u"QTDESFEITOS"_s, F::Float, 0}
        << fields(u"EXECCOPIA"_s,
                  {u"DSERRO"_s, u"DSFILTPACI"_s, u"DSFILTSERV"_s, u"DSFILTDIET"_s, u"DSFILTANDA"_s, u"DSFILTALA"_s,
                   u"DSFILTLEIT"_s},
                  {});
    return layout;
}

const QList<FieldLayout> &servExecucaoLayout()
{
    static const QList<FieldLayout> layout = {field(u"EXECLINHA"_s, u"NRORDEM"_s),
                                              field(u"SERVINTE"_s, u"CDPACIENTE"_s),
                                              field(u"PACIENTE"_s, u"NMPACIENTE"_s),
                                              field(u"SERVINTE"_s, u"CDSERVFILI"_s),
                                              field(u"SERVICO"_s, u"NMSERVICO"_s),
                                              field(u"SERVINTE"_s, u"CDDIETPAD"_s),
                                              field(u"DIETPADR"_s, u"DSDIETPAD"_s),
                                              field(u"SERVINTE"_s, u"NRSEQUSERV"_s),
                                              {u"QTITENS"_s, F::Float, 0},
                                              {u"NRSEQUANT"_s, F::String, Schema::column(u"SERVINTE"_s, u"NRSEQUSERV"_s).size},
                                              {u"QTITENSANT"_s, F::Float, 0},
                                              {u"IDSITUACAO"_s, F::String, 1}};
    return layout;
}

const QList<FieldLayout> &desfazExecucaoLayout()
{
    static const QList<FieldLayout> layout = {field(u"SERVINTE"_s, u"CDPACIENTE"_s),
                                              field(u"SERVINTE"_s, u"DTSERVINTE"_s),
                                              field(u"SERVINTE"_s, u"CDSERVFILI"_s),
                                              field(u"SERVINTE"_s, u"CDDIETPAD"_s),
                                              field(u"SERVINTE"_s, u"NRSEQUSERV"_s),
                                              field(u"EXECCOPIA"_s, u"IDSITUACAO"_s),
                                              {u"DSMOTIVO"_s, F::String, 255}};
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

} // namespace rbx
