// The bed lookup of a branch, from the query to a filled pick list on screen (offscreen
// platform), with the screen's own bed query. One JSON line per figure.
//   rbx53207-bench-pick --url U --db NAME [--samples N]
#include "BenchArgs.h"
#include "BenchReport.h"
#include "BenchSeeder.h"
#include <house/DBGeral.h>
#include <house/DialogSeam.h>
#include <protocol/HouseError.h>
#include <house/widgets/PickListDialog.h>
#include <house/widgets/PickListModel.h>
#include <screen/TfrmCopFormulacao.h>

#include <QApplication>
#include <QJsonObject>
#include <QTableView>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace rbx;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const BenchArgs args(app.arguments().mid(1));
    const QString db = args.text(u"db"_s, u"sqlite"_s);
    const int samples = args.number(u"samples"_s, 7);
    dtmDBGeral().SetUrl(args.text(u"url"_s));
    try {
        TfrmCopFormulacao screen;
        TADOIBQuery &qryLeito = screen.qryLeito;
        QList<double> filled, queried;
        qsizetype beds = 0;
        for (int i = 0; i < samples; ++i) {
            const double started = monotonicSeconds();
            qryLeito.Close();
            // every wing and floor of the branch, as the screen sends them in all mode
            qryLeito.ParamByName(u"P_CDALA"_s).SetAsString(QString());
            qryLeito.ParamByName(u"P_TCDALA"_s).SetAsString(u"T"_s);
            qryLeito.ParamByName(u"P_CDANDAR"_s).SetAsString(QString());
            qryLeito.ParamByName(u"P_TCDANDAR"_s).SetAsString(u"T"_s);
            qryLeito.ParamByName(u"P_CDFILIAL"_s).SetAsString(BenchSeeder::Branch);
            qryLeito.Open();
            queried.append((monotonicSeconds() - started) * 1e3);
            const RowTable rows = qryLeito.rowTable();
            PickRequest request;
            request.rows = &rows;
            request.keyColumn = rows.columnIndex(u"CDLEITO"_s);
            request.caption = u"Leitos"_s;
            request.emptyText = u"Nenhum leito encontrado."_s;
            PickListDialog dialog(request);
            dialog.show();
            QApplication::processEvents();
            dialog.view()->viewport()->repaint();
            filled.append((monotonicSeconds() - started) * 1e3);
            beds = dialog.model()->rowCount();
            dialog.reject();
        }
        const QJsonObject params{{u"db"_s, db}, {u"beds"_s, beds}, {u"samples"_s, samples}};
        const double first = filled.constFirst();
        report(u"bed_pick_list_first"_s, first, u"ms"_s, params);
        report(u"bed_pick_list_median"_s, quantile(filled, 0.5), u"ms"_s, params);
        report(u"bed_query_median"_s, quantile(queried, 0.5), u"ms"_s, params);
    } catch (const EHouseError &failure) {
        std::fprintf(stderr, "rbx53207-bench-pick: %s\n", qPrintable(failure.message()));
        return 1;
    }
    return 0;
}
