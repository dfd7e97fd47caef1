// Fuzzes the client's loading of an answer: JSON, the call result with its packet and by-ref
// texts, and SetData into each of the six record sets, then every field read of every row.
#include <remote/CopyServiceClient.h>
#include <contract/CopyServiceContract.h>
#include <protocol/HouseError.h>
#include <house/TClientDataSet.h>
#include <protocol/WireProtocol.h>

#include <QJsonDocument>

#include <cstdint>

using namespace rbx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)), &error);
    if (error.error != QJsonParseError::NoError)
        return 0;
    // an answer line holds the result under "result"; a bare result is tried too
    QJsonValue value = document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
    if (document.isObject() && document.object().contains(QStringLiteral("result")))
        value = document.object().value(QStringLiteral("result"));
    Wire::CallResult result;
    try {
        result = Wire::decodeCallResult(value);
    } catch (const EHouseError &) {
        return 0;
    }
    if (!result.packet)
        return 0;
    static const QList<const QList<CopyService::FieldLayout> *> layouts = {
        &CopyService::nutricioLayout(),   &CopyService::pacienteLayout(),   &CopyService::servInteLayout(),
        &CopyService::nrServInteLayout(), &CopyService::nrConfescoLayout(), &CopyService::confescoLayout()};
    for (const auto *layout : layouts) {
        TClientDataSet dataSet(QStringLiteral("cdsFuzz"));
        declareFields(dataSet, *layout);
        try {
            dataSet.SetData(*result.packet);
            for (; !dataSet.Eof(); dataSet.Next()) {
                for (TField *field : dataSet.Fields()) {
                    (void)field->AsString();
                    if (field->DataType() == Wire::FieldType::DateTime)
                        (void)field->AsDateTime();
                    if (field->DataType() == Wire::FieldType::Float)
                        (void)field->AsFloat();
                }
            }
        } catch (const EHouseError &) {
            // a packet that does not fit the layout is refused with the record set's error
        }
    }
    return 0;
}
