#include "CopyMessages.h"

namespace rbx {

namespace CopyMessages {

const QStringList &lines()
{
    // "Servico_NCad" is spelled without the cedilla and the bed key is "Leito_Cad": both as the
    // catalog has always held them.
    static const QStringList catalog = {
        QStringLiteral("Paciente|Paciente (Internado)"),
        QStringLiteral("Paci_NCad|Não há paciente (internado) cadastrado."),
        QStringLiteral("Servico_NCad|Não existe servico %s cadastrado."),
        QStringLiteral("Servico|Serviço"),
        QStringLiteral("Dieta_NCad|Não existe dieta %s cadastrada."),
        QStringLiteral("Dieta|Dieta"),
        QStringLiteral("Paciente_Inf|Paciente deve ser informado."),
        QStringLiteral("Servico_Inf|Serviço deve ser informado."),
        QStringLiteral("Dieta_Inf|Dieta deve ser informada."),
        QStringLiteral("Data_Origem_Inf|Data origem deve ser informada."),
        QStringLiteral("Data_Destino_Inf|Data destino deve ser informada."),
        QStringLiteral("Lac|lactário"),
        QStringLiteral("Ent|enteral/parenteral"),
        QStringLiteral("DtOrigem_Menor|Data origem deve ser menor que a data destino."),
        QStringLiteral("Conf_Orig_NExt|Não existe configuração de origem cadastrada."),
        QStringLiteral("Oper_Per|Operador não está cadastrado como nutricionista."),
        QStringLiteral("Conf_Oper|Confirma operação?"),
        QStringLiteral("Andar_NCad|Não existe andar cadastrado."),
        QStringLiteral("Andar|Andar"),
        QStringLiteral("Ala_NCad|Não existe ala cadastrada."),
        QStringLiteral("Ala|Ala"),
        QStringLiteral("Leito_Cad|Não existe leito cadastrado para andar/ala informado."),
        QStringLiteral("Leito|Leito"),
        QStringLiteral("Andar_Inf|Andar deve ser informado."),
        QStringLiteral("Ala_Inf|Ala deve ser informada."),
        QStringLiteral("Leito_Inf|Leito deve ser informado."),
        QStringLiteral("Cop_Suces|A cópia foi realizada com sucesso."),
        QStringLiteral("Data_Err|Data inválida."),
    };
    return catalog;
}

} // namespace CopyMessages

} // namespace rbx
