#include "Pkg_RBX53207.h"

#include <screen/Cli_Rbx53207.h>
#include <house/HandlerGuard.h>
#include <protocol/HouseError.h>
#include <protocol/QtTranslations.h>
#include <screen/TfrmCopiasRealizadas.h>

namespace {

QString elementText(const QVariantList &elements, int index)
{
    if (index >= elements.size())
        throw rbx::EConvertError(QStringLiteral("IniProc: o parâmetro não tem o elemento %1.").arg(index));
    const QVariant &element = elements.at(index);
    if (!element.isValid() || !element.canConvert<QString>())
        throw rbx::EConvertError(QStringLiteral("IniProc: o elemento %1 do parâmetro não é um texto (%2).")
                                .arg(index)
                                .arg(QString::fromLatin1(element.typeName())));
    return element.toString();
}

// The parameter as a list; a single text is no list here.
QVariantList elementsOf(const QVariant &Params, const QString &entry, const QString &expected)
{
    if (!Params.canConvert<QVariantList>() || Params.userType() == QMetaType::QString)
        throw rbx::EConvertError(QStringLiteral("%1: o parâmetro deve ser uma lista (%2).").arg(entry, expected));
    return Params.toList();
}

} // namespace

void IniProc(const QVariant &Params) noexcept
{
    // A C entry point must not unwind into its caller: every failure ends here, on the error
    // display the host uses.
    guarded(nullptr, [&] {
        // Qt's buttons and socket errors in Portuguese also under a host that did not ask for it
        rbx::installQtTranslations();
        const QVariantList elements = elementsOf(Params, QStringLiteral("IniProc"), QStringLiteral("modo, filial"));
        const QString filial = elementText(elements, 1);
        const QString tipoForm = elementText(elements, 0);
        CriaCopFormulacao(tipoForm, filial);
    });
}

void IniProcCopias(const QVariant &Params) noexcept
{
    guarded(nullptr, [&] {
        rbx::installQtTranslations();
        const QVariantList elements = elementsOf(Params, QStringLiteral("IniProcCopias"), QStringLiteral("filial"));
        CriaCopiasRealizadas(elementText(elements, 0));
    });
}
