#pragma once

#include <QString>

namespace rbx {

class SqlDialect;

// The statements of the run journal that follow the columns of SERVINTE and CONFESCO, written
// from the schema so that a column added there is journaled and put back with the rest.
namespace JournalSql {

// Copies a service (found by :P1 :D1 :F1 :S1 :T1, its patient, date, branch, service and diet)
// and its items (the same key as :P2 .. :T2) into EXECLINHA as version :VER1/:VER2 of the
// run's service :ID1/:ID2, :ORD1/:ORD2. One statement: the picture is whole or not taken.
QString pictureOfService(const SqlDialect &dialect);

// Puts the service and the items of version A of a run's service (:IDEXECUCAO, :NRORDEM) back.
QString restoreService();
QString restoreItems();

// Of the rows now under the key of version N of a run's service (:P, :D, :Q, :F: patient,
// date, sequence, branch), how many there are and how many are exactly as the run wrote them
// (:IDEXECUCAO, :NRORDEM), every column; one statement for the service, one for its items.
QString serviceAsWritten();
QString itemsAsWritten();

} // namespace JournalSql

} // namespace rbx
