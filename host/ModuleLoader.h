#pragma once

#include <module/Pkg_RBX53207.h>

#include <QLibrary>
#include <QString>
#include <QStringList>

#include <memory>

namespace rbx {

// Loads the copy module at run time and finds its entry points. The module stays loaded for
// the life of the host: its screens and their classes live in it.
class ModuleLoader
{
public:
    static constexpr char16_t ModuleName[] = u"Pkg_RBX53207";

    // Where to look: the configured file alone when there is one, else beside the program,
    // then the build tree.
    static QStringList candidatePaths(const QString &configured, const QString &programDir);

    // Raises EHouseError naming every place tried and why it failed.
    void load(const QString &configured, const QString &programDir);
    bool loaded() const { return m_iniProc != nullptr; }
    QString path() const { return m_library ? m_library->fileName() : QString(); }

    // Returns when the screen has closed; the module shows its own errors on the error display.
    void iniProc(const QString &mode, const QString &branch) const;
    // "Cópias realizadas" of the branch; raises EHouseError when the module has no such routine.
    void copiasRealizadas(const QString &branch) const;

private:
    std::unique_ptr<QLibrary> m_library;
    IniProcFunction m_iniProc = nullptr;
    IniProcFunction m_copias = nullptr;
};

} // namespace rbx
