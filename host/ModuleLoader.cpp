#include "ModuleLoader.h"

#include <protocol/HouseError.h>

#include <QDir>

namespace rbx {

QStringList ModuleLoader::candidatePaths(const QString &configured, const QString &programDir)
{
    if (!configured.isEmpty())
        return {configured};
    const QString name = QString::fromUtf16(ModuleName);
    return {QDir(programDir).absoluteFilePath(name),
            QDir(programDir).absoluteFilePath(QStringLiteral("../module/") + name),
            QDir(programDir).absoluteFilePath(QStringLiteral(RBX_INSTALLED_MODULE_DIR "/") + name),
            QDir(QStringLiteral(RBX_BUILD_MODULE_DIR)).absoluteFilePath(name)};
}

void ModuleLoader::load(const QString &configured, const QString &programDir)
{
    QStringList failures;
    for (const QString &candidate : candidatePaths(configured, programDir)) {
        auto library = std::make_unique<QLibrary>(candidate);
        if (!library->load()) {
            failures.append(library->errorString());
            continue;
        }
        auto iniProc = reinterpret_cast<IniProcFunction>(library->resolve("IniProc"));
        if (!iniProc) {
            failures.append(QStringLiteral("%1 não exporta IniProc.").arg(library->fileName()));
            continue;
        }
        // optional: a module built before the routine has none
        m_copias = reinterpret_cast<IniProcFunction>(library->resolve("IniProcCopias"));
        m_library = std::move(library);
        m_iniProc = iniProc;
        return;
    }
    throw EHouseError(QStringLiteral("Não foi possível carregar o módulo %1:\n%2")
                          .arg(QString::fromUtf16(ModuleName), failures.join(u'\n')));
}

void ModuleLoader::iniProc(const QString &mode, const QString &branch) const
{
    if (!m_iniProc)
        throw EHouseError(QStringLiteral("O módulo não foi carregado."));
    m_iniProc(QVariant(QVariantList{mode, branch}));
}

void ModuleLoader::copiasRealizadas(const QString &branch) const
{
    if (!m_copias)
        throw EHouseError(QStringLiteral("O módulo carregado não tem a rotina Cópias realizadas."));
    m_copias(QVariant(QVariantList{branch}));
}

} // namespace rbx
