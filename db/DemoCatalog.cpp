#include "DemoCatalog.h"

#include <stdexcept>

namespace rbx {

using namespace Qt::StringLiterals;

namespace DemoCatalog {

const QList<Branch> &branches()
{
    static const QList<Branch> all = {
        {u"0001"_s,
         6,
         {u"CLM"_s, u"CIR"_s, u"UTI"_s, u"ONC"_s, u"CAR"_s, u"PED"_s, u"NEO"_s, u"MAT"_s},
         {u"10001"_s, u"10002"_s, u"10003"_s, u"10004"_s, u"10005"_s, u"20001"_s, u"20002"_s, u"20003"_s, u"20004"_s},
         {{u"001"_s, u"ADMIN"_s, u"Márcia Conceição Araújo"_s},
          {u"002"_s, u"LSIMOES"_s, u"Luíza Simões Falcão"_s},
          {u"003"_s, u"JBRANDAO"_s, u"João Brandão Guimarães"_s}},
         7},
        {u"0002"_s,
         4,
         {u"CLM"_s, u"CIR"_s, u"UTI"_s, u"PED"_s, u"NEO"_s},
         {u"10001"_s, u"10003"_s, u"10005"_s, u"20001"_s, u"20002"_s},
         {{u"001"_s, u"ADMIN"_s, u"Márcia Conceição Araújo"_s}, {u"002"_s, u"TGUSMAO"_s, u"Tânia Gusmão Leão"_s}},
         3},
    };
    return all;
}

const QList<Wing> &wings()
{
    static const QList<Wing> all = {
        {u"CLM"_s, u"Clínica Médica"_s, Ward::Adult},
        {u"CIR"_s, u"Clínica Cirúrgica"_s, Ward::Adult},
        {u"UTI"_s, u"UTI Adulto"_s, Ward::Adult},
        {u"ONC"_s, u"Oncologia"_s, Ward::Adult},
        {u"CAR"_s, u"Cardiologia"_s, Ward::Adult},
        {u"PED"_s, u"Pediatria"_s, Ward::Child},
        {u"NEO"_s, u"UTI Neonatal"_s, Ward::Newborn},
        {u"MAT"_s, u"Maternidade – Alojamento Conjunto"_s, Ward::Newborn},
    };
    return all;
}

const Wing &wing(const QString &code)
{
    for (const Wing &wing : wings()) {
        if (wing.code == code)
            return wing;
    }
    throw std::out_of_range("no demo wing " + code.toStdString());
}

const QList<Service> &services()
{
    static const QList<Service> all = {
        {u"10001"_s, u"Nutrição Enteral Contínua"_s, ServiceEnteral, {u"0101"_s, u"0102"_s, u"0103"_s, u"0104"_s}, {u"SNE"_s, u"SNG"_s, u"GTT"_s}},
        {u"10002"_s, u"Nutrição Enteral Intermitente"_s, ServiceEnteral, {u"0101"_s, u"0102"_s, u"0104"_s}, {u"SNE"_s, u"GTT"_s}},
        {u"10003"_s, u"Nutrição Parenteral Total"_s, ServiceEnteral, {u"0105"_s}, {u"CVC"_s}},
        {u"10004"_s, u"Nutrição Parenteral Periférica"_s, ServiceEnteral, {u"0106"_s}, {u"PER"_s}},
        {u"10005"_s, u"Suplementação Oral Hiperproteica"_s, ServiceEnteral, {u"0107"_s, u"0102"_s}, {u"ORA"_s}},
        {u"20001"_s, u"Mamadeira – Fórmula Infantil"_s, ServiceLactario,
         {u"0201"_s, u"0202"_s, u"0203"_s, u"0205"_s, u"0206"_s}, {u"MAM"_s, u"COP"_s}},
        {u"20002"_s, u"Leite Humano Ordenhado"_s, ServiceLactario, {u"0204"_s}, {u"MAM"_s, u"COP"_s, u"SOG"_s}},
        {u"20003"_s, u"Fórmula por Sonda Orogástrica"_s, ServiceLactario, {u"0201"_s, u"0204"_s, u"0206"_s}, {u"SOG"_s}},
        {u"20004"_s, u"Papas e Mingaus Infantis"_s, ServiceLactario, {u"0207"_s}, {u"COP"_s}},
    };
    return all;
}

const Service &service(const QString &code)
{
    for (const Service &service : services()) {
        if (service.code == code)
            return service;
    }
    throw std::out_of_range("no demo service " + code.toStdString());
}

const QList<Diet> &diets()
{
    static const QList<Diet> all = {
        {u"0101"_s, u"Enteral Polimérica Padrão 1,0 kcal/ml"_s, DietEnteral},
        {u"0102"_s, u"Enteral Hiperproteica 1,5 kcal/ml"_s, DietEnteral},
        {u"0103"_s, u"Enteral para Diabéticos"_s, DietEnteral},
        {u"0104"_s, u"Enteral Oligomérica sem Lactose"_s, DietEnteral},
        {u"0105"_s, u"Parenteral Central – Bolsa 3 em 1"_s, DietEnteral},
        {u"0106"_s, u"Parenteral Periférica – Bolsa 2 em 1"_s, DietEnteral},
        {u"0107"_s, u"Suplemento Hiperproteico Sabor Baunilha"_s, DietEnteral},
        {u"0201"_s, u"Fórmula Infantil de Partida"_s, DietLactario},
        {u"0202"_s, u"Fórmula Infantil de Seguimento"_s, DietLactario},
        {u"0203"_s, u"Fórmula Antirregurgitação"_s, DietLactario},
        {u"0204"_s, u"Leite Humano Pasteurizado"_s, DietLactario},
        {u"0205"_s, u"Fórmula à Base de Proteína de Soja"_s, DietLactario},
        {u"0206"_s, u"Fórmula Extensamente Hidrolisada"_s, DietLactario},
        {u"0207"_s, u"Mingau de Aveia com Maçã"_s, DietLactario},
    };
    return all;
}

QString floorName(int floor)
{
    return floor == 0 ? u"Térreo"_s : u"%1º Andar"_s.arg(floor);
}

const QList<std::pair<QString, QString>> &standards()
{
    static const QList<std::pair<QString, QString>> all = {
        {u"01"_s, u"SUS – Enfermaria"_s},
        {u"02"_s, u"Convênio – Apartamento"_s},
        {u"03"_s, u"Convênio – Enfermaria"_s},
        {u"04"_s, u"Particular – Apartamento"_s},
    };
    return all;
}

const QStringList &femaleNames()
{
    static const QStringList all = {
        u"Maria"_s,   u"Ana"_s,     u"Conceição"_s, u"Luíza"_s,   u"Letícia"_s, u"Inês"_s,     u"Cecília"_s,
        u"Ângela"_s,  u"Lúcia"_s,   u"Mônica"_s,    u"Vitória"_s, u"Íris"_s,    u"Célia"_s,    u"Beatriz"_s,
        u"Rosângela"_s, u"Débora"_s, u"Tânia"_s,    u"Valéria"_s, u"Fátima"_s,  u"Márcia"_s,   u"Sônia"_s,
        u"Glória"_s,  u"Antônia"_s, u"Lívia"_s,     u"Júlia"_s,   u"Patrícia"_s, u"Cláudia"_s, u"Francisca"_s,
        u"Helena"_s,  u"Raimunda"_s,
    };
    return all;
}

const QStringList &maleNames()
{
    static const QStringList all = {
        u"João"_s,    u"José"_s,   u"Antônio"_s, u"Sebastião"_s, u"Joaquim"_s, u"Raimundo"_s, u"Luís"_s,
        u"Fábio"_s,   u"Márcio"_s, u"Caio"_s,    u"Gonçalo"_s,   u"Simão"_s,   u"Estêvão"_s,  u"Vinícius"_s,
        u"Túlio"_s,   u"Otávio"_s, u"Cássio"_s,  u"Rogério"_s,   u"Sérgio"_s,  u"Flávio"_s,   u"Mário"_s,
        u"Júlio"_s,   u"André"_s,  u"Benedito"_s, u"Inácio"_s,   u"Francisco"_s, u"Tomás"_s,  u"Lúcio"_s,
    };
    return all;
}

const QStringList &surnames()
{
    static const QStringList all = {
        u"da Conceição"_s, u"Gonçalves"_s, u"Araújo"_s,   u"Simões"_s,   u"Magalhães"_s, u"Brandão"_s,
        u"Falcão"_s,       u"Guimarães"_s, u"da Assunção"_s, u"Nóbrega"_s, u"Damião"_s,  u"de Sá"_s,
        u"Mourão"_s,       u"Gusmão"_s,    u"Patrício"_s, u"Romão"_s,    u"Fonseca"_s,   u"Leão"_s,
        u"Aragão"_s,       u"Antunes"_s,   u"Peixoto"_s,  u"Ribeiro"_s,  u"Sousa"_s,     u"Lopes"_s,
        u"Gomes"_s,        u"Carvalho"_s,  u"Fernandes"_s, u"Pereira"_s, u"Silva"_s,     u"dos Santos"_s,
        u"Oliveira"_s,     u"Mendonça"_s,  u"Nogueira"_s, u"Sampaio"_s,  u"Galvão"_s,    u"Monção"_s,
    };
    return all;
}

const QStringList &serviceNotes()
{
    static const QStringList all = {
        u"Progredir o volume conforme a tolerância"_s,
        u"Paciente em jejum para exame às 14h; reavaliar aceitação"_s,
        u"Cabeceira elevada a 30° durante a infusão"_s,
        u"Mãe acompanhante; estimular o aleitamento materno"_s,
        u"Controle rigoroso de glicemia capilar"_s,
        u"Restrição hídrica: 1.000 ml/dia"_s,
        u"Alergia à proteína do leite de vaca"_s,
        u"Avaliação fonoaudiológica antes de liberar a via oral"_s,
    };
    return all;
}

const QStringList &itemNotes()
{
    static const QStringList all = {
        u"Diluir em água filtrada; infusão contínua"_s,
        u"Administrar em bomba de infusão"_s,
        u"Oferecer em copinho; não usar mamadeira"_s,
        u"Aquecer em banho-maria antes de servir"_s,
        u"Suspender se houver distensão abdominal"_s,
        u"Lavar a sonda com 20 ml de água após a dieta"_s,
        u"Atenção: intolerância à lactose"_s,
        u"Proteger da luz; trocar o equipo a cada 24 h"_s,
    };
    return all;
}

const QStringList &enteralProducts()
{
    static const QStringList all = {u"0000104711"_s, u"0000104712"_s, u"0000104720"_s, u"0000104733"_s,
                                    u"0000105001"_s, u"0000105002"_s, u"0000106150"_s};
    return all;
}

const QStringList &lactarioDishes()
{
    static const QStringList all = {u"0000002001"_s, u"0000002002"_s, u"0000002003"_s, u"0000002010"_s,
                                    u"0000002011"_s, u"0000002020"_s};
    return all;
}

} // namespace DemoCatalog

} // namespace rbx
