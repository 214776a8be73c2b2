#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kv::erp::words {

// The words the sample data is made of. Everything here is invented or common Spanish usage;
// no row of the demo ERP names a real firm or person.

struct Town {
    QString name;
    QString province;    // province code, as VT_CLIENTES.PROVINCIA holds it
    QString postalCode;  // the town's first postal code
    QString phonePrefix; // landline prefix
    QString zone;        // sales zone, at most 4 characters
};

struct Code {
    QString code;
    QString description;
};

// A product family of a rubro: the noun, the unit it is sold in, its variants and sizes.
struct ProductFamily {
    QString noun;
    QString unit;
    QStringList variants;
    QStringList sizes;
    double minCost; // euros
    double maxCost;
};

struct Rubro {
    Code code;
    QList<ProductFamily> families;
};

const QStringList& maleNames();
const QStringList& femaleNames();
const QStringList& surnames();
const QStringList& streets();
const QList<Town>& towns();

// Kinds of business a client or supplier name starts with ("Ferretería", "Suministros" ...).
const QStringList& clientTrades();
const QStringList& supplierTrades();
const QStringList& companySuffixes();
const QStringList& contactRoles();

const QList<Code>& banks();
const QList<Code>& clientCategories();
const QList<Code>& units();
const QList<Code>& articleTypes();
const QList<Rubro>& rubros();
const QStringList& brands();

// Field service: what a task does, to what, and the notes that make a long description.
const QStringList& taskActions();
const QStringList& taskObjects();
const QStringList& taskDetails();
const QStringList& taskChecklist();
const QStringList& specialties();

// Price list names by position (type follows the position, see SampleData).
const QStringList& priceListNames();

} // namespace kv::erp::words
