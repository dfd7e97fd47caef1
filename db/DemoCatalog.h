#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace rbx {

// The fixed part of the demo hospital: its branches, wards, services, diets, staff and the
// words its records are made of. The generator combines these deterministically.
namespace DemoCatalog {

inline const QString ServiceEnteral = QStringLiteral("1"); // IDTPSERVHOSP of enteral/parenteral services
inline const QString ServiceLactario = QStringLiteral("2");
inline const QString DietLactario = QStringLiteral("1"); // IDFORMDIET of milk-kitchen formulas
inline const QString DietEnteral = QStringLiteral("2");

enum class Ward { Adult, Child, Newborn };

struct Wing
{
    QString code;
    QString name;
    Ward ward;
};

struct Service
{
    QString code;
    QString name;
    QString type; // IDTPSERVHOSP
    QStringList diets;
    // CDVIACESDIET: sondas, cateter, veia periférica, via oral, mamadeira, copinho
    QStringList routes;
};

struct Diet
{
    QString code;
    QString description;
    QString formulation; // IDFORMDIET
};

struct Nutritionist
{
    QString code;
    QString operatorCode;
    QString name;
};

struct Branch
{
    QString code;
    int floors;
    QStringList wings;
    QStringList services;
    QList<Nutritionist> nutritionists;
    // share of the patients admitted here, in tenths
    int tenths;
};

const QList<Branch> &branches();
const QList<Wing> &wings();
const Wing &wing(const QString &code);
const QList<Service> &services();
const Service &service(const QString &code);
const QList<Diet> &diets();
QString floorName(int floor);
// CDSERPADDIE and NMSERPADDIE, the same in every branch.
const QList<std::pair<QString, QString>> &standards();

const QStringList &femaleNames();
const QStringList &maleNames();
const QStringList &surnames();

const QStringList &serviceNotes();  // DSSERVINTE
const QStringList &itemNotes();     // DSOBSCONF
const QStringList &enteralProducts(); // CDPRODUTO
const QStringList &lactarioDishes();  // CDPRATO

} // namespace DemoCatalog

} // namespace rbx
