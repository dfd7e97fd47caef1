#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {
constexpr auto CatalogName = "rbx-qt-translations";
}

bool installQtTranslations()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return false;
    // the host and the module it loads share one application: the first to ask installs
    if (app->findChild<QTranslator *>(QLatin1StringView(CatalogName), Qt::FindDirectChildrenOnly))
        return true;
    auto *catalog = new QTranslator(app);
    catalog->setObjectName(QLatin1StringView(CatalogName));
    if (!catalog->load(u"qtbase_pt_BR"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(catalog)) {
        delete catalog;
        return false;
    }
    return true;
}

} // namespace rbx
