#include "MethodTable.h"

#include "CopyServiceContract.h"

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

using Handler = decltype(MethodEntry::handler);

QHash<QString, MethodEntry> build()
{
    const QList<std::pair<QString, Handler>> handlers = {
        {u"getNutricio"_s, &CopyServiceObject::getNutricio},
        {u"getPaciente"_s, &CopyServiceObject::getPaciente},
        {u"getServInte"_s, &CopyServiceObject::getServInte},
        {u"DelServ"_s, &CopyServiceObject::DelServ},
        {u"getNrServInte"_s, &CopyServiceObject::getNrServInte},
        {u"InsServInte"_s, &CopyServiceObject::InsServInte},
        {u"getNrConfesco"_s, &CopyServiceObject::getNrConfesco},
        {u"getConfesco"_s, &CopyServiceObject::getConfesco},
        {u"InsConfesco"_s, &CopyServiceObject::InsConfesco},
    };
    QHash<QString, MethodEntry> table;
    for (const CopyService::MethodSignature &method : CopyService::methods()) {
        const auto handler = std::find_if(handlers.cbegin(), handlers.cend(),
                                          [&](const auto &entry) { return entry.first == method.name; });
        if (handler == handlers.cend())
            throw std::logic_error("no handler for " + method.name.toStdString());
        table.insert(method.name, {method.name, method.kinds, handler->second, method.name.startsWith(u"get"_s)});
    }
    table.insert(QLatin1String(CopyService::StartTransaction),
                 {QLatin1String(CopyService::StartTransaction), {}, &CopyServiceObject::StartTransaction});
    table.insert(QLatin1String(CopyService::Commit), {QLatin1String(CopyService::Commit), {}, &CopyServiceObject::Commit});
    table.insert(QLatin1String(CopyService::Rollback),
                 {QLatin1String(CopyService::Rollback), {}, &CopyServiceObject::Rollback});
    if (table.size() != handlers.size() + 3)
        throw std::logic_error("a handler serves no method of the contract");
    return table;
}

} // namespace

const QHash<QString, MethodEntry> &methodTable()
{
    static const QHash<QString, MethodEntry> table = build();
    return table;
}
