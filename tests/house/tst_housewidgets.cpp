#include <support/AnsweringDialogs.h>
#include <house/widgets/BusyOverlay.h>
#include <protocol/HouseError.h>
#include <house/PesquisaLista.h>
#include <house/widgets/PickListDialog.h>
#include <house/widgets/PickListModel.h>
#include <protocol/QtTranslations.h>
#include <house/widgets/ShowAvi.h>
#include <house/widgets/TBtnPesquisa.h>
#include <house/widgets/TDateEditPlus.h>
#include <house/widgets/TfrmRotiGeral.h>
#include <house/widgets/WidgetDialogs.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <functional>

using namespace rbx;

namespace {

class FixedRows final : public RowSource
{
public:
    RowTable table;
    RowTable rowTable() override { return table; }
};

RowTable floors(int count)
{
    RowTable table;
    table.columns = {{QStringLiteral("CDANDAR"), QStringLiteral("Código"), 18, true},
                     {QStringLiteral("NMANDAR"), QStringLiteral("Nome"), 35, true}};
    for (int i = 1; i <= count; ++i)
        table.rows.append({QStringLiteral("F%1").arg(i), QStringLiteral("%1º andar").arg(i)});
    return table;
}

// Acts on the next modal dialog once it is up, as a person would.
void whenModal(std::function<void(QWidget *)> act)
{
    QTimer::singleShot(0, [act] {
        QWidget *modal = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((modal = QApplication::activeModalWidget()) != nullptr, 5000);
        act(modal);
    });
}

// Acts on the first message box that comes up, polling without blocking: the box may open
// inside a handler that runs below this check.
void whenMessageBox(QObject *context, std::function<void(QMessageBox *)> act)
{
    auto *timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(box);
        }
    });
    timer->start(10);
}

QAbstractButton *buttonWithText(QWidget *dialog, const QString &text)
{
    for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

// A routine screen that records its handlers.
class RecordingForm final : public TfrmRotiGeral
{
public:
    RecordingForm() { FormCreate(); }
    TCloseAction closeAction = caFree;
    bool failActivation = false;
    bool closeOnActivation = false;
    int activations = 0;
    int closes = 0;
    void FormActivate() override
    {
        ++activations;
        if (closeOnActivation)
            Close();
        if (failActivation)
            throw EConnectionError(QStringLiteral("sem servidor"));
    }
    void FormClose(TCloseAction &action) override
    {
        ++closes;
        TfrmRotiGeral::FormClose(action);
        action = closeAction;
    }
};

} // namespace

class TestHouseWidgets final : public QObject
{
    Q_OBJECT

private slots:
    void init() { installWidgetDialogs(); }

    // --- the pick list, as a real modal dialog ---------------------------------------------

    void pickListOkWritesTheCheckedRows()
    {
        FixedRows rows;
        rows.table = floors(4);
        TDataSource source(QStringLiteral("dtsAndar"));
        source.SetDataSet(rows);
        QString stAndares = QStringLiteral("_F2_");

        QString title;
        QStringList headers;
        bool preselectedShown = false;
        whenModal([&](QWidget *modal) {
            auto *dialog = qobject_cast<PickListDialog *>(modal);
            QVERIFY(dialog);
            title = dialog->windowTitle();
            for (int c = 1; c < dialog->model()->columnCount(); ++c)
                headers.append(dialog->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
            preselectedShown = dialog->model()->isChecked(1);
            dialog->model()->setChecked(1, false);
            dialog->model()->setData(dialog->model()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
            dialog->model()->setChecked(3, true);
            QTest::mouseClick(buttonWithText(dialog, QStringLiteral("OK")), Qt::LeftButton);
        });
        QVERIFY(PesquisaLista(source, QStringLiteral("CDANDAR"), QStringLiteral("Andar|Não existe andar cadastrado."),
                              false, stAndares));
        QCOMPARE(title, QStringLiteral("Andar"));
        QCOMPARE(headers, (QStringList{QStringLiteral("Código"), QStringLiteral("Nome")}));
        QVERIFY(preselectedShown);
        QCOMPARE(stAndares, QStringLiteral("_F1__F4_"));
    }

    void pickListCancelLeavesTheList()
    {
        FixedRows rows;
        rows.table = floors(3);
        TDataSource source;
        source.SetDataSet(rows);
        QString list = QStringLiteral("_F3_");
        whenModal([](QWidget *modal) {
            auto *dialog = qobject_cast<PickListDialog *>(modal);
            QVERIFY(dialog);
            dialog->model()->checkAll(true);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QVERIFY(!PesquisaLista(source, QStringLiteral("CDANDAR"), QStringLiteral("Andar|x"), false, list));
        QCOMPARE(list, QStringLiteral("_F3_"));
    }

    void pickListShowsTheEmptyTextWhenThereIsNothing()
    {
        FixedRows rows;
        rows.table = floors(0);
        TDataSource source;
        source.SetDataSet(rows);
        QString list = QStringLiteral("_F1_");
        QString shown;
        bool gridHidden = false;
        whenModal([&](QWidget *modal) {
            auto *label = modal->findChild<QLabel *>(QStringLiteral("lblVazio"));
            QVERIFY(label);
            shown = label->isVisible() ? label->text() : QString();
            gridHidden = !modal->findChild<QTableView *>(QStringLiteral("grdLista"))->isVisible();
            QTest::mouseClick(buttonWithText(modal, QStringLiteral("OK")), Qt::LeftButton);
        });
        QVERIFY(PesquisaLista(source, QStringLiteral("CDANDAR"),
                              QStringLiteral("Andar|Não existe andar cadastrado."), false, list));
        QCOMPARE(shown, QStringLiteral("Não existe andar cadastrado."));
        QVERIFY(gridHidden);
        QCOMPARE(list, QString());
    }

    void pickListKeyboardAndSingleChoice()
    {
        RowTable table = floors(3);
        PickRequest request;
        request.rows = &table;
        request.keyColumn = 0;
        request.singleChoice = true;
        PickListDialog dialog(request);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.view()->setCurrentIndex(dialog.model()->index(1, 1));
        QTest::keyClick(dialog.view(), Qt::Key_Space);
        dialog.model()->setChecked(2, true); // single choice: the other goes
        QCOMPARE(dialog.pickedKeys(), QStringList{QStringLiteral("F3")});
        QTest::keyClick(dialog.view(), Qt::Key_Space);
        QCOMPARE(dialog.pickedKeys(), QStringList{QStringLiteral("F2")});
    }

    void twentyThousandRowsWithTheirLabels()
    {
        RowTable table = floors(20000);
        PickRequest request;
        request.rows = &table;
        request.keyColumn = 0;
        PickListDialog dialog(request);
        QCOMPARE(dialog.model()->rowCount(), 20000);
        QCOMPARE(dialog.model()->data(dialog.model()->index(19999, 2), Qt::DisplayRole).toString(),
                 QStringLiteral("20000º andar"));
        // a wider display width gives a wider column
        QVERIFY(dialog.view()->columnWidth(2) > dialog.view()->columnWidth(1));
    }

    // The search narrows the rows by any column, ignoring case and accents; rows sort in
    // Portuguese order; Enter checks the current row; and the list still writes the checked
    // keys in the data source's order.
    void pickListSearchSortAndEnter()
    {
        RowTable table;
        table.columns = {{QStringLiteral("CDPACIENTE"), QStringLiteral("Código"), 15, true},
                         {QStringLiteral("NMPACIENTE"), QStringLiteral("Nome"), 40, true},
                         {QStringLiteral("NMLEITO"), QStringLiteral("Leito"), 15, true}};
        table.rows = {{QStringLiteral("P1"), QStringLiteral("Zélia Souza"), QStringLiteral("Leito 10")},
                      {QStringLiteral("P2"), QStringLiteral("João Brandão"), QStringLiteral("Leito 2")},
                      {QStringLiteral("P3"), QStringLiteral("Joana Prado"), QStringLiteral("Leito 11")},
                      {QStringLiteral("P4"), QStringLiteral("Érica Lima"), QStringLiteral("UTI 3")},
                      {QStringLiteral("P5"), QStringLiteral("Ângela Maria"), QStringLiteral("Leito 1")}};
        PickRequest request;
        request.rows = &table;
        request.keyColumn = 0;
        PickListDialog dialog(request);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.focusWidget(), dialog.searchField());
        const auto column = [&dialog](int c) {
            QStringList texts;
            for (int row = 0; row < dialog.model()->rowCount(); ++row)
                texts.append(dialog.model()->data(dialog.model()->index(row, c), Qt::DisplayRole).toString());
            return texts;
        };
        // by name at first: accented capitals among the others, not after "Z"
        QCOMPARE(column(2), (QStringList{QStringLiteral("Ângela Maria"), QStringLiteral("Érica Lima"),
                                         QStringLiteral("Joana Prado"), QStringLiteral("João Brandão"),
                                         QStringLiteral("Zélia Souza")}));
        // a click on the bed header: numbers by their value
        QHeaderView *header = dialog.view()->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(3) + 4, header->height() / 2));
        QCOMPARE(column(3), (QStringList{QStringLiteral("Leito 1"), QStringLiteral("Leito 2"), QStringLiteral("Leito 10"),
                                         QStringLiteral("Leito 11"), QStringLiteral("UTI 3")}));

        QTest::keyClicks(dialog.searchField(), QStringLiteral("joao"));
        QCOMPARE(column(1), QStringList{QStringLiteral("P2")});
        dialog.searchField()->setText(QStringLiteral("JOÃO"));
        QCOMPARE(column(1), QStringList{QStringLiteral("P2")});
        dialog.searchField()->setText(QStringLiteral("leito 1"));
        QCOMPARE(column(1), (QStringList{QStringLiteral("P5"), QStringLiteral("P1"), QStringLiteral("P3")}));

        // Enter checks the current row and leaves the list open; the count follows
        QTest::keyClick(dialog.searchField(), Qt::Key_Down);
        QTest::keyClick(dialog.searchField(), Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.pickedKeys(), QStringList{QStringLiteral("P1")});
        dialog.searchField()->clear();
        QCOMPARE(dialog.model()->rowCount(), 5);
        dialog.view()->setCurrentIndex(dialog.model()->index(0, 1)); // "Leito 1": P5
        QTest::keyClick(dialog.view(), Qt::Key_Enter);
        QCOMPARE(dialog.pickedKeys(), (QStringList{QStringLiteral("P1"), QStringLiteral("P5")}));
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lblMarcados"))->text(), QStringLiteral("2 de 5 marcados"));
        QTest::keyClick(dialog.view(), Qt::Key_Return);
        QCOMPARE(dialog.pickedKeys(), QStringList{QStringLiteral("P1")});
    }

    // A date column sorts by date, not as text; the search line says how many rows it shows.
    void pickListSortsDatesAndCountsMatches()
    {
        RowTable table;
        table.columns = {{QStringLiteral("CDPACIENTE"), QStringLiteral("Código"), 15, true},
                         {QStringLiteral("DTINTERNA"), QStringLiteral("Data de Internação"), 22, true}};
        table.rows = {{QStringLiteral("P1"), QStringLiteral("01/11/2026")},
                      {QStringLiteral("P2"), QStringLiteral("01/12/2025 08:30:00")},
                      {QStringLiteral("P3"), QStringLiteral("02/12/2025")},
                      {QStringLiteral("P4"), QString()},
                      {QStringLiteral("P5"), QStringLiteral("03/11/2026")}};
        for (int i = 6; i <= 1680; ++i)
            table.rows.append({QStringLiteral("Q%1").arg(i), QStringLiteral("15/01/2026")});
        PickRequest request;
        request.rows = &table;
        request.keyColumn = 0;
        PickListDialog dialog(request);
        auto *matches = dialog.findChild<QLabel *>(QStringLiteral("lblEncontrados"));
        QCOMPARE(matches->text(), QStringLiteral("1.680 de 1.680"));
        dialog.searchField()->setText(QStringLiteral("p"));
        QCOMPARE(matches->text(), QStringLiteral("5 de 1.680"));

        dialog.model()->sort(2);
        QStringList keys;
        for (int row = 0; row < dialog.model()->rowCount(); ++row)
            keys.append(dialog.model()->data(dialog.model()->index(row, 1), Qt::DisplayRole).toString());
        QCOMPARE(keys, (QStringList{QStringLiteral("P4"), QStringLiteral("P2"), QStringLiteral("P3"), QStringLiteral("P1"),
                                    QStringLiteral("P5")}));
    }

    // Columns take the width of their texts; a long name gives way before a short column is cut.
    void pickListColumnsFitTheirTextsWithinTheWindow()
    {
        RowTable table;
        table.columns = {{QStringLiteral("CDPACIENTE"), QStringLiteral("Código"), 15, true},
                         {QStringLiteral("NMPACIENTE"), QStringLiteral("Nome"), 40, true},
                         {QStringLiteral("NMLEITO"), QStringLiteral("Leito"), 15, true}};
        for (int i = 1; i <= 2400; ++i)
            table.rows.append({QStringLiteral("%1").arg(i, 12, 10, QChar(u'0')), QStringLiteral("Paciente %1").arg(i),
                               QStringLiteral("Enfermaria %1-B").arg(i)});
        table.rows[7][1] = QStringLiteral("Maria ") + QStringLiteral("de Albuquerque ").repeated(20);
        PickRequest request;
        request.rows = &table;
        request.keyColumn = 0;
        request.preselected = {QStringLiteral("000000000001"), QStringLiteral("000000000002"),
                               QStringLiteral("000000000003")};
        PickListDialog dialog(request);
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lblMarcados"))->text(), QStringLiteral("3 de 2.400 marcados"));
        const QFontMetrics metrics = dialog.view()->fontMetrics();
        QVERIFY(dialog.view()->columnWidth(3) >= metrics.horizontalAdvance(QStringLiteral("Enfermaria 2400-B")));
        QVERIFY(dialog.view()->columnWidth(1) >= metrics.horizontalAdvance(QStringLiteral("000000002400")));
        QVERIFY(dialog.view()->columnWidth(2) < metrics.horizontalAdvance(table.rows[7][1]));
        int columns = 0;
        for (int c = 0; c < dialog.model()->columnCount(); ++c)
            columns += dialog.view()->columnWidth(c);
        QVERIFY(columns <= dialog.width());
    }

    // --- messages through real message boxes -----------------------------------------------

    void messageBoxAnswers_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("result");
        QTest::newRow("Sim") << QStringLiteral("&Sim") << mrYes;
        QTest::newRow("Não") << QStringLiteral("&Não") << mrNo;
        QTest::newRow("Escape") << QString() << mrNo;
    }
    void messageBoxAnswers()
    {
        QFETCH(QString, press);
        QFETCH(int, result);
        QString text;
        whenModal([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            text = box->text();
            if (press.isEmpty())
                QTest::keyClick(box, Qt::Key_Escape);
            else
                QTest::mouseClick(buttonWithText(box, press), Qt::LeftButton);
        });
        TMessages catalog;
        catalog.Messages = {QStringLiteral("Conf_Oper|Confirma operação?")};
        QCOMPARE(catalog.ShowMsg(QStringLiteral("Conf_Oper"), mtConfirmation, mbYes | mbNo, 0), result);
        QCOMPARE(text, QStringLiteral("Confirma operação?"));
    }

    void informationWithYesOnly()
    {
        QStringList captions;
        whenModal([&](QWidget *modal) {
            for (QAbstractButton *button : modal->findChildren<QPushButton *>())
                captions.append(button->text());
            QTest::keyClick(modal, Qt::Key_Return);
        });
        TMessages catalog;
        catalog.Messages = {QStringLiteral("Cop_Suces|A cópia foi realizada com sucesso.")};
        QCOMPARE(catalog.ShowMsg(QStringLiteral("Cop_Suces"), mtInformation, mbYes, 0), mrYes);
        QCOMPARE(captions, QStringList{QStringLiteral("&Sim")});
    }

    // --- busy indicator --------------------------------------------------------------------

    void busyOverlayCoversTheMainFormAndNests()
    {
        QMainWindow main;
        main.resize(400, 300);
        main.show();
        QCOMPARE(houseMainForm(), &main);
        ActiveShowAvi(houseMainForm(), 0);
        auto *overlay = main.findChild<BusyOverlay *>(QStringLiteral("ShowAvi"));
        QVERIFY(overlay);
        QVERIFY(overlay->isVisible());
        QCOMPARE(overlay->geometry(), main.rect());
        QVERIFY(overlay->text().contains(QStringLiteral("servidor")));
        ActiveShowAvi(&main, 0);
        DeactiveShowAvi();
        QVERIFY(main.findChild<BusyOverlay *>());
        DeactiveShowAvi();
        QVERIFY(!main.findChild<BusyOverlay *>());
        DeactiveShowAvi(); // one too many does no harm
    }

    void busyIndicatorGoesThroughTheSeam()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        QWidget form;
        ActiveShowAvi(&form, 0);
        DeactiveShowAvi();
        QCOMPARE(dialogs.busyShown, 1);
        QCOMPARE(dialogs.busyHidden, 1);
        QCOMPARE(dialogs.busyKinds, QList<int>{0});
    }

    // --- date edit ---------------------------------------------------------------------------

    void dateEdit_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("weekday");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("shownWhenLeft"); // the text once the focus moved on
        QTest::newRow("leap day") << QStringLiteral("29022024") << QDate(2024, 2, 29) << QStringLiteral("Quinta") << true
                                  << QStringLiteral("29/02/2024");
        QTest::newRow("1 March") << QStringLiteral("01032024") << QDate(2024, 3, 1) << QStringLiteral("Sexta") << true
                                 << QStringLiteral("01/03/2024");
        QTest::newRow("Sunday") << QStringLiteral("03032024") << QDate(2024, 3, 3) << QStringLiteral("Domingo") << true
                                << QStringLiteral("03/03/2024");
        QTest::newRow("Saturday accent") << QStringLiteral("02032024") << QDate(2024, 3, 2) << QStringLiteral("Sábado")
                                         << true << QStringLiteral("02/03/2024");
        QTest::newRow("two-digit year") << QStringLiteral("071226") << QDate(2026, 12, 7) << QStringLiteral("Segunda")
                                        << true << QStringLiteral("07/12/2026");
        QTest::newRow("two-digit leap day") << QStringLiteral("290200") << QDate(2000, 2, 29) << QStringLiteral("Terça")
                                            << true << QStringLiteral("29/02/2000");
        QTest::newRow("no 29 Feb in 2023") << QStringLiteral("29022023") << QDate() << QString() << false
                                           << QStringLiteral("29/02/2023");
        QTest::newRow("no 29 Feb in 23") << QStringLiteral("290223") << QDate() << QString() << false
                                         << QStringLiteral("29/02/23");
        QTest::newRow("month 13") << QStringLiteral("01132024") << QDate() << QString() << false
                                  << QStringLiteral("01/13/2024");
        QTest::newRow("half typed") << QStringLiteral("0103") << QDate() << QString() << false << QStringLiteral("01/03");
        QTest::newRow("three-digit year") << QStringLiteral("0103202") << QDate() << QString() << false
                                          << QStringLiteral("01/03/202");
        QTest::newRow("nothing") << QString() << QDate() << QString() << true << QString();
    }
    void dateEdit()
    {
        QFETCH(QString, typed);
        QFETCH(QDate, date);
        QFETCH(QString, weekday);
        QFETCH(bool, valid);
        QFETCH(QString, shownWhenLeft);
        QWidget parent;
        auto *edit = new TDateEditPlus(&parent);
        edit->setGeometry(85, 152, 100, 21);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        edit->setFocus();
        edit->home(false);
        QTest::keyClicks(edit, typed);

        QCOMPARE(edit->Date(), date);
        QCOMPARE(edit->WeekdayName(), weekday);
        QCOMPARE(edit->WeekdayLabel()->text(), weekday);
        QCOMPARE(edit->WeekdayLabel()->isVisible(), !weekday.isEmpty());
        QVERIFY(edit->WeekdayLabel()->x() > edit->geometry().right());
        QCOMPARE(edit->IsEmpty(), typed.isEmpty());
        QCOMPARE(edit->palette().color(QPalette::Text) == QColor(Qt::blue), date.isValid());
        if (valid) {
            edit->CheckValidDate();
        } else {
            try {
                edit->CheckValidDate();
                QFAIL("an invalid date must raise");
            } catch (const EValidationError &error) {
                QVERIFY(error.message().startsWith(QStringLiteral("Data inválida: ")));
                // what was typed, without the mask's blanks
                QCOMPARE(error.message(), QStringLiteral("Data inválida: %1.").arg(shownWhenLeft));
            }
            QVERIFY(edit->hasFocus());
        }
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(edit, &out);
        QCOMPARE(edit->Typed(), shownWhenLeft);
        QCOMPARE(edit->Date(), date);
    }

    void dateEditSetAndTime()
    {
        TDateEditPlus edit;
        edit.SetDate(QDate(2024, 2, 29));
        QCOMPARE(edit.Text(), QStringLiteral("29/02/2024"));
        QCOMPARE(edit.DateTime(), QDateTime(QDate(2024, 2, 29), QTime(0, 0)));
        edit.SetDateTime(QDateTime(QDate(2024, 3, 1), QTime(8, 30)));
        QCOMPARE(edit.DateTime().time(), QTime(0, 0)); // SaveTime false: no time
        edit.SaveTime = true;
        QCOMPARE(edit.DateTime(), QDateTime(QDate(2024, 3, 1), QTime(8, 30)));
        // Alt+Down opens the calendar on the typed date; the day taken there is typed in full
        QTest::keyClick(&edit, Qt::Key_Down, Qt::AltModifier);
        auto *calendar = edit.findChild<QCalendarWidget *>();
        QVERIFY(calendar && calendar->isVisible());
        QCOMPARE(calendar->selectedDate(), QDate(2024, 3, 1));
        emit calendar->activated(QDate(2024, 3, 15));
        QCOMPARE(edit.Text(), QStringLiteral("15/03/2024"));
        QCOMPARE(edit.DateTime(), QDateTime(QDate(2024, 3, 15), QTime(8, 30)));
        QTRY_VERIFY(!edit.findChild<QCalendarWidget *>());
        edit.SetDate(QDate());
        QVERIFY(edit.IsEmpty());
        QVERIFY(edit.Date().isNull());
    }

    void dateEditLeavesOnlyToAnotherControl_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("exits");
        QTest::newRow("tab") << int(Qt::TabFocusReason) << true;
        QTest::newRow("mouse") << int(Qt::MouseFocusReason) << true;
        QTest::newRow("dialog opened") << int(Qt::ActiveWindowFocusReason) << false;
        QTest::newRow("popup") << int(Qt::PopupFocusReason) << false;
    }
    void dateEditLeavesOnlyToAnotherControl()
    {
        QFETCH(int, reason);
        QFETCH(bool, exits);
        TDateEditPlus edit;
        int exited = 0;
        connect(&edit, &TDateEditPlus::exited, this, [&] { ++exited; });
        QFocusEvent out(QEvent::FocusOut, Qt::FocusReason(reason));
        QApplication::sendEvent(&edit, &out);
        QCOMPARE(exited, exits ? 1 : 0);
    }

    // --- buttons and the base form -----------------------------------------------------------

    void searchButton()
    {
        TBtnPesquisa button;
        QCOMPARE(button.size(), QSize(21, 21));
        QCOMPARE(button.toolTip(), QStringLiteral("Pesquisar"));
        QVERIFY(!button.icon().isNull());
    }

    void baseFormActivationRunsBehindTheGuard()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        auto *form = new RecordingForm;
        QPointer<RecordingForm> alive(form);
        form->failActivation = true;
        form->show();
        QTRY_VERIFY(form->activations >= 1);
        QCOMPARE(dialogs.errors.first(), QStringLiteral("sem servidor"));
        QCOMPARE(dialogs.errors.size(), form->activations);
        QVERIFY(form->isVisible());
        form->close();
        QCOMPARE(form->closes, 1);
        QTRY_VERIFY(alive.isNull()); // caFree: freed once the loop runs
    }

    void closeActions_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("freed");
        QTest::newRow("caNone keeps it open") << int(TfrmRotiGeral::caNone) << true << false;
        QTest::newRow("caHide hides") << int(TfrmRotiGeral::caHide) << false << false;
        QTest::newRow("caFree frees") << int(TfrmRotiGeral::caFree) << false << true;
    }
    void closeActions()
    {
        QFETCH(int, action);
        QFETCH(bool, visible);
        QFETCH(bool, freed);
        auto *form = new RecordingForm;
        QPointer<RecordingForm> alive(form);
        form->closeAction = TfrmRotiGeral::TCloseAction(action);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QTest::keyClick(form, Qt::Key_Escape);
        QCOMPARE(form->closes, 1);
        QCOMPARE(form->isVisible(), visible);
        QTest::qWait(0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(alive.isNull(), freed);
        delete alive.data();
    }

    // A modal screen that closes itself in a handler and then shows the handler's error: the
    // error box runs while the screen is closed, and the screen goes only after ShowModal.
    void modalScreenClosedByItsOwnFailingHandler()
    {
        auto *form = new RecordingForm;
        QPointer<RecordingForm> alive(form);
        form->failActivation = true;
        form->closeOnActivation = true;
        QString shown;
        bool formAliveDuringBox = false;
        bool boxOverHiddenScreen = true;
        whenMessageBox(this, [&](QMessageBox *box) {
            shown = box->text();
            formAliveDuringBox = !alive.isNull();
            boxOverHiddenScreen = box->parentWidget() == alive.data();
            QTest::qWait(50); // let deferred deletions run, as a person's reading time would
            box->done(QMessageBox::Ok);
        });
        form->ShowModal();
        QCOMPARE(shown, QStringLiteral("sem servidor"));
        QVERIFY(formAliveDuringBox);
        QVERIFY(!boxOverHiddenScreen);
        QCOMPARE(form->closes, 1);
        QVERIFY(!alive.isNull()); // still there when ShowModal returns
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(alive.isNull());
    }

    void modalRunEndsWithOneClose()
    {
        auto *form = new RecordingForm;
        QPointer<RecordingForm> alive(form);
        form->closeAction = TfrmRotiGeral::caHide;
        QTimer::singleShot(0, form, [form] { form->Close(); });
        form->ShowModal();
        QCOMPARE(form->closes, 1);
        QVERIFY(!form->isVisible());
        delete form;
    }

    // --- Qt's own texts (last: the catalog stays installed) --------------------------------

    // A standard button and a line edit's menu in Portuguese once Qt's catalog is in; a second
    // install, as the module makes under the host, finds the first.
    void qtTextsInPortuguese()
    {
        QVERIFY(installQtTranslations());
        QVERIFY(installQtTranslations());
        QCOMPARE(qApp->findChildren<QTranslator *>().size(), 1);
        QDialogButtonBox box(QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancelar"));
        TDateEditPlus edit;
        const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList entries;
        for (const QAction *action : menu->actions())
            entries << action->text().section(u'\t', 0, 0);
        QVERIFY2(entries.contains(QStringLiteral("Selecionar tudo")), qPrintable(entries.join(u'|')));
    }
};

QTEST_MAIN(TestHouseWidgets)
#include "tst_housewidgets.moc"
