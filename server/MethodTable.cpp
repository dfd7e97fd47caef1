#include "MethodTable.h"

#include <stdexcept>

namespace rbx {

namespace {

using Handler = decltype(MethodEntry::handler);
using CopyService::MethodId;

Handler handlerOf(MethodId id)
{
    switch (id) {
    case MethodId::getNutricio: return &CopyServiceObject::getNutricio;
    case MethodId::getPaciente: return &CopyServiceObject::getPaciente;
    case MethodId::getServInte: return &CopyServiceObject::getServInte;
    case MethodId::DelServ: return &CopyServiceObject::DelServ;
    case MethodId::getNrServInte: return &CopyServiceObject::getNrServInte;
    case MethodId::InsServInte: return &CopyServiceObject::InsServInte;
    case MethodId::getNrConfesco: return &CopyServiceObject::getNrConfesco;
    case MethodId::getConfesco: return &CopyServiceObject::getConfesco;
    case MethodId::InsConfesco: return &CopyServiceObject::InsConfesco;
    case MethodId::StartTransaction: return &CopyServiceObject::StartTransaction;
    case MethodId::Commit: return &CopyServiceObject::Commit;
    case MethodId::Rollback: return &CopyServiceObject::Rollback;
    case MethodId::CopServInte: return &CopyServiceObject::CopServInte;
    case MethodId::AbreExecucao: return &CopyServiceObject::AbreExecucao;
    case MethodId::FechaExecucao: return &CopyServiceObject::FechaExecucao;
    case MethodId::getExecucoes: return &CopyServiceObject::getExecucoes;
    case MethodId::DesfazExecucao: return &CopyServiceObject::DesfazExecucao;
    case MethodId::AlteraSenha: return &CopyServiceObject::AlteraSenha;
    case MethodId::getServExecucao: return &CopyServiceObject::getServExecucao;
    }
    return nullptr;
}

QHash<QString, MethodEntry> build()
{
    QHash<QString, MethodEntry> table;
    for (const CopyService::MethodSignature &method : CopyService::allMethods()) {
        const Handler handler = handlerOf(method.id);
        if (!handler)
            throw std::logic_error("no handler for " + method.name.toStdString());
        table.insert(method.name, {&method, handler});
    }
    return table;
}

} // namespace

const QHash<QString, MethodEntry> &methodTable()
{
    static const QHash<QString, MethodEntry> table = build();
    return table;
}

} // namespace rbx
