#include "ActingOperator.h"

namespace rbx {

using namespace Qt::StringLiterals;
using CopyService::MethodId;

std::optional<QString> refusal(const ActingOperator &acting, const CopyService::MethodSignature &method,
                               const QList<Wire::Arg> &args)
{
    for (qsizetype i = 0; i < method.args.size() && i < args.size(); ++i) {
        const CopyService::Argument &declared = method.args.at(i);
        if (!declared.column)
            continue;
        const QString value = args.at(i).text.trimmed();
        // an empty or overlong code names no operator or branch: the method refuses it as a bad
        // value, and matches no row meanwhile
        if (value.isEmpty() || value.size() > declared.column->size)
            continue;
        if (declared.column->name == u"CDOPERADOR"_s && value != acting.code)
            return u"A sessão do operador %1 não pode agir em nome de outro operador (\"%2\")."_s.arg(acting.code, value.left(40));
        if (declared.column->name == u"CDFILIAL"_s && method.id != MethodId::getNutricio && !acting.inBranch(value))
            return u"O operador %1 não é nutricionista da filial \"%2\"."_s.arg(acting.code, value.left(40));
    }
    return std::nullopt;
}

} // namespace rbx
