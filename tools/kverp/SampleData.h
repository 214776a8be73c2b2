#pragma once

#include "Vocabulary.h"

#include <array>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

namespace kv::erp {

// How much sample data to make, every number resolved (see DemoErp.h for the defaults).
struct Plan {
    quint64 seed = 1;
    int clients = 0;
    int articles = 0;
    int vendors = 0;
    int documents = 0;
    int priceLists = 0;
    qint64 priceRows = 0; // article by article, each in every list, until this many
    int suppliers = 0;
    int contacts = 0;
    int maintenances = 0;
    int technicians = 8;
    int tasks = 40;
    int officeUsers = 4;
};

struct Person {
    QString first;
    QString last1;
    QString last2;
    QString fullName() const { return first + QLatin1Char(' ') + last1 + QLatin1Char(' ') + last2; }
};

// Street parts are Null where the ERP leaves them empty (most clients have no floor or door).
struct Address {
    QVariant street;
    QVariant number;
    QVariant floor;
    QVariant door;
    words::Town town;
    QString postalCode;
    QString phone;
};

struct Client {
    QString code; // CODIGO, also its account code CTACODIGO
    QString name;
    Address address;
    QVariant province;
    QString iva; // condition code, a number written as text
    QString documentType;
    QString documentNumber;
    QVariant zone;
    QString category;
    int priceClass = 1;
    std::array<QVariant, 6> vendors; // IDVENDEDOR, IDVENDEDOR1 .. IDVENDEDOR5
    QVariant priceList;
    double discount = 0;
    QString contact;
    bool inactive = false;
    QDateTime since;
    QString email;
};

struct Vendor {
    QString code;
    Person person;
    Address address;
    QString documentNumber;
    QString email;
    double salesPercent = 0;
    double collectionPercent = 0;
    QString depot;
};

struct PriceList {
    QString code;
    QString name;
    QString type; // "V" sales lists (the ones sent to handhelds), "C" purchase, "E" special
    bool withVat = false;
    QString currency;
    double markup = 1;
    QString costFormula;
    QStringList classFormulas; // FCLASE1 .. FCLASE5
};

struct Article {
    QString code;
    QString description;
    QVariant barcode;
    QString rubro;
    QString unit;
    QString type;
    double cost = 0;
    double vat = 21;
};

struct Technician {
    QString code;
    Person person;
    QString phone;
    QString specialty;
};

struct Task {
    QString code;
    QString description; // 120 to 250 characters
    double hours = 1;
    double rate = 0;
    bool editable = false;
    bool exempt = false;
    bool asksData = false;
    QVariant technician;
    double vat = 21;
    QVariant notes; // the long additional description, CR LF between lines
};

struct Supplier {
    QString code;
    QString name;
    Address address;
    QString iva;
    QString documentNumber;
    QString contact;
    QString email;
    bool inactive = false;
};

struct Contact {
    QString client;
    Person person;
    QString role;
    Address address;
    QString email;
    QDateTime recorded;
};

struct Maintenance {
    QString code;
    QString description;
    QString client;
    QString task;
    QString technician;
    int everyDays = 30;
    QDateTime next;
    bool active = true;
};

struct User {
    QString name;
    QString system;
    QString password;
    int administrator = 0;
};

struct TaskLine {
    QString task;
    QString description;
    double hours = 0;
    double rate = 0;
    double total = 0;
    bool exempt = false;
    QVariant notes;
    QVariant technician;
};

struct SupplyLine {
    QString article; // fitted to 25 characters, as the import writes it
    QString description;
    double quantity = 0;
    QString unit;
    double price = 0; // with VAT
    double priceWithoutVat = 0;
    double total = 0;
};

// A document entered at the office before the handhelds came: history the duplicate tests
// and the control-sheet numbering run against.
struct Document {
    QString type; // "NP", "OT", "RM" or "PR"
    QString id;   // branch + number + letter
    Client client;
    QDateTime date;
    double net = 0;
    double vat = 0;
    QList<TaskLine> tasks;
    QList<SupplyLine> supplies;
};

// The sample entities, each made from its own stream of the seed, so any one can be made on
// its own and in any order.
class SampleData {
public:
    explicit SampleData(const Plan& plan);
    const Plan& plan() const { return m_plan; }

    Client client(int i) const;
    Vendor vendor(int i) const;
    PriceList priceList(int i) const;
    Article article(int i) const;
    // The price of an article in a list for a price class 1 to 5.
    double price(const Article& article, const PriceList& list, int priceClass) const;
    Technician technician(int i) const;
    Task task(int i) const;
    Supplier supplier(int i) const;
    Contact contact(int i) const;
    Maintenance maintenance(int i) const;
    QList<User> users() const;
    Document document(int i) const;

    static QString vendorCode(int i) { return QString::number(i + 1); }
    static QString clientCode(int i) { return QString::number(i + 1).rightJustified(6, QLatin1Char('0')); }
    static QString priceListCode(int i) { return QString::number(i + 1); }
    static QString technicianCode(int i) { return QString::number(i + 1); }
    static QString taskCode(int i) {
        return QStringLiteral("T") + QString::number(i + 1).rightJustified(3, QLatin1Char('0'));
    }
    // The date the sample history is dated from; fixed, so the rows do not depend on the clock.
    static QDateTime epoch() { return QDateTime(QDate(2024, 1, 8), QTime(0, 0)); }

private:
    Plan m_plan;
    QList<int> m_salesLists; // positions of the "V" lists, which clients are given
};

} // namespace kv::erp
