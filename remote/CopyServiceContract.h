#pragma once

#include "WireProtocol.h"

#include <QList>
#include <QString>

// What client and server agree on about "Rbx53207.rdmCopiaForm": method names with the kinds of
// their positional arguments, and the field layouts of the packets.
namespace CopyService {

struct MethodSignature
{
    QString name;
    QList<Wire::Arg::Kind> kinds;
};

// The nine methods of the service, in the order the screen meets them.
const QList<MethodSignature> &methods();
const MethodSignature *findMethod(const QString &name);

inline constexpr char StartTransaction[] = "StartTransaction";
inline constexpr char Commit[] = "Commit";
inline constexpr char Rollback[] = "Rollback";

struct FieldLayout
{
    QString name;
    Wire::FieldType type = Wire::FieldType::String;
    int size = 0;
    QString displayLabel = {};
    int displayWidth = 0;
};

const QList<FieldLayout> &nutricioLayout();
const QList<FieldLayout> &pacienteLayout();
const QList<FieldLayout> &servInteLayout();
const QList<FieldLayout> &nrServInteLayout();
const QList<FieldLayout> &nrConfescoLayout();
const QList<FieldLayout> &confescoLayout();

QList<Wire::PacketField> packetFields(const QList<FieldLayout> &layout);

} // namespace CopyService
