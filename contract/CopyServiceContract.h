#pragma once

#include <contract/rbx_contract_export.h>

#include <db/Schema.h>
#include <protocol/WireProtocol.h>

#include <QList>
#include <QString>

namespace rbx {

// The contract of "Rbx53207.rdmCopiaForm", declared once: every method with its access and its
// arguments (name, kind, by reference or not, the schema column whose width a text must fit),
// and every packet layout with its field widths taken from the schema. The server's dispatch
// and argument reading, the typed client, the record sets' fields and the protocol page are all
// derived from it; CopyServiceContract.cpp is the one place that spells a method's name.
namespace CopyService {

// Every method a client may call, the nine of the service first, in the order the screen meets
// them, then the transaction calls, then the extensions.
enum class MethodId {
    getNutricio,
    getPaciente,
    getServInte,
    DelServ,
    getNrServInte,
    InsServInte,
    getNrConfesco,
    getConfesco,
    InsConfesco,
    StartTransaction,
    Commit,
    Rollback,
    // Extensions: offered by a server that lists them in rpc.open's result.
    CopServInte,
    // The copy runs the server journals: open and close one, list a branch's, undo one.
    AbreExecucao,
    FechaExecucao,
    getExecucoes,
    DesfazExecucao,
    // The session's operator changes its own password.
    AlteraSenha,
    // The services of one run, with the names a person reads.
    getServExecucao,
};

// The methods before the first extension are what every server offers.
inline bool isExtension(MethodId id) { return int(id) >= int(MethodId::CopServInte); }

enum class Access {
    Reads,       // writes nothing: may run again on a new database connection
    Writes,      // atomic on its own, never retried
    Transaction, // starts or ends the connection's transaction
};

struct Argument
{
    QString name;
    Wire::Arg::Kind kind = Wire::Arg::Kind::Text;
    bool byRef = false;
    // The column a text argument is stored in or compared with; nullptr when there is none (the
    // filter lists and flags, dates and numbers).
    const Schema::Column *column = nullptr;
};

struct FieldLayout
{
    QString name;
    Wire::FieldType type = Wire::FieldType::String;
    int size = 0;
    QString displayLabel = {};
    int displayWidth = 0;
};

struct RBX_CONTRACT_EXPORT MethodSignature
{
    MethodId id;
    QString name;
    Access access;
    QList<Argument> args;
    // The kinds of args, in order: what a call is checked against before it runs.
    QList<Wire::Arg::Kind> kinds;
    // The packet a reading method answers with; empty for the others.
    QList<FieldLayout> layout;

    bool endsTransaction() const { return id == MethodId::Commit || id == MethodId::Rollback; }
    // Position of the argument of that name; throws std::out_of_range when there is none, which
    // is a programming error.
    int position(const QString &argument) const;
};

// The nine methods of the service, in the order the screen meets them.
RBX_CONTRACT_EXPORT const QList<MethodSignature> &methods();
// The nine and the transaction calls: what every server offers.
RBX_CONTRACT_EXPORT const QList<MethodSignature> &classicMethods();
// The methods beyond those, each offered only by a server that lists it in rpc.open's result.
RBX_CONTRACT_EXPORT const QList<MethodSignature> &extensions();
// Everything a session may dispatch: the classic methods and the extensions.
RBX_CONTRACT_EXPORT const QList<MethodSignature> &allMethods();
RBX_CONTRACT_EXPORT const MethodSignature &method(MethodId id);
RBX_CONTRACT_EXPORT const MethodSignature *findMethod(const QString &name);

// Empty when the arguments a client is about to send match the declaration in count, kinds and
// by-reference marks; otherwise what differs.
RBX_CONTRACT_EXPORT QString checkCall(const MethodSignature &method, const QList<Wire::Arg> &args);

RBX_CONTRACT_EXPORT const QList<FieldLayout> &nutricioLayout();
RBX_CONTRACT_EXPORT const QList<FieldLayout> &pacienteLayout();
RBX_CONTRACT_EXPORT const QList<FieldLayout> &servInteLayout();
RBX_CONTRACT_EXPORT const QList<FieldLayout> &nrServInteLayout();
RBX_CONTRACT_EXPORT const QList<FieldLayout> &nrConfescoLayout();
RBX_CONTRACT_EXPORT const QList<FieldLayout> &confescoLayout();
// CopServInte's answer: the new service's sequence, the items copied, the services it replaced.
RBX_CONTRACT_EXPORT const QList<FieldLayout> &copServInteLayout();
// AbreExecucao's answer: the run's id, a number the server assigns.
RBX_CONTRACT_EXPORT const QList<FieldLayout> &execucaoLayout();
// getExecucoes: one row per run of the branch, newest first.
RBX_CONTRACT_EXPORT const QList<FieldLayout> &execucoesLayout();
// DesfazExecucao: one row per service of the run, undone (D) or refused (R) and why.
RBX_CONTRACT_EXPORT const QList<FieldLayout> &desfazExecucaoLayout();
// getServExecucao: one row per service of the run, in the order written: who and what, the
// items written, the service it replaced (its sequence and items), undone (D) or pending (P).
RBX_CONTRACT_EXPORT const QList<FieldLayout> &servExecucaoLayout();

// How a run ended, as FechaExecucao takes it and getExecucoes answers it.
namespace RunOutcomeCode {
inline constexpr char16_t Open = u'A';
inline constexpr char16_t Completed = u'C';
inline constexpr char16_t Failed = u'F';
inline constexpr char16_t Interrupted = u'I';
} // namespace RunOutcomeCode

RBX_CONTRACT_EXPORT QList<Wire::PacketField> packetFields(const QList<FieldLayout> &layout);

} // namespace CopyService

} // namespace rbx
