#include "SampleData.h"

#include "Random.h"

#include <QSet>

namespace kv::erp {

namespace {

using namespace words;

constexpr std::array<double, 5> kClassFactors = {1.00, 0.97, 0.94, 0.90, 0.85};

// Lower-case ASCII for logins and mail addresses: accents dropped, blanks and marks removed.
QString ascii(const QString& text) {
    QString out;
    for (const QChar c : text.normalized(QString::NormalizationForm_D)) {
        if (c.unicode() < 128 && c.isLetterOrNumber()) out += c.toLower();
    }
    return out;
}

QString fit(QString text, int length) {
    if (text.size() > length) text = text.left(length).trimmed();
    return text;
}

Person person(Rng& r) {
    const bool female = r.chance(0.5);
    return {r.pick(female ? femaleNames() : maleNames()), r.pick(surnames()), r.pick(surnames())};
}

// A Spanish phone number: landline with the town's prefix, or a mobile.
QString phone(Rng& r, const Town& town) {
    const QString digits = r.chance(0.35) ? QChar(u'6') + r.digits(8)
                                          : town.phonePrefix + r.digits(9 - int(town.phonePrefix.size()));
    return digits.left(3) + QLatin1Char(' ') + digits.mid(3, 3) + QLatin1Char(' ') + digits.mid(6);
}

Address address(Rng& r, double noStreet) {
    Address a;
    a.town = r.pick(towns());
    a.postalCode =
        QString::number(a.town.postalCode.toInt() + r.below(12)).rightJustified(5, QLatin1Char('0'));
    a.phone = phone(r, a.town);
    if (r.chance(noStreet)) return a; // street parts stay Null
    a.street = r.pick(streets());
    a.number = r.chance(0.03) ? QStringLiteral("s/n") : QString::number(r.between(1, 240));
    if (r.chance(0.4)) {
        a.floor =
            r.chance(0.15) ? QStringLiteral("Bajo") : QString::number(r.between(1, 9)) + QStringLiteral("º");
        static const QStringList doors = {QStringLiteral("A"),     QStringLiteral("B"),
                                          QStringLiteral("C"),     QStringLiteral("D"),
                                          QStringLiteral("Izda."), QStringLiteral("Dcha.")};
        a.door = r.pick(doors);
    }
    return a;
}

// Tax numbers: NIF for a person (eight digits and the check letter), CIF for a firm.
QString nif(Rng& r) {
    const QString number = r.digits(8);
    return number + QChar(u"TRWAGMYFPDXBNJZSQVHLCKE"[number.toInt() % 23]);
}

QString cif(Rng& r) {
    static const QStringList letters = {QStringLiteral("B"), QStringLiteral("B"), QStringLiteral("A"),
                                        QStringLiteral("F")};
    return r.pick(letters) + r.digits(8);
}

QString firmName(Rng& r, const QStringList& trades) {
    const int kind = r.below(4);
    QString name;
    if (kind == 0)
        name = r.pick(surnames()) + QStringLiteral(" y ") + r.pick(surnames());
    else if (kind == 1)
        name = r.pick(trades) + QLatin1Char(' ') + r.pick(towns()).name;
    else
        name = r.pick(trades) + QLatin1Char(' ') + r.pick(surnames());
    return fit(name + r.pick(companySuffixes()), 50);
}

QString mailOf(const QString& local, const QString& domain) {
    return ascii(local) + QLatin1Char('@') + domain;
}

// EAN-13 with the Spanish prefix and its check digit.
QString barcode(Rng& r) {
    const QString body = QStringLiteral("84") + r.digits(10);
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += (body.at(i).unicode() - u'0') * (i % 2 ? 3 : 1);
    return body + QChar(u'0' + (10 - sum % 10) % 10);
}

QDateTime daysFromEpoch(int days) {
    return SampleData::epoch().addDays(days);
}

QString listTypeAt(int i) {
    return i % 6 == 2 ? QStringLiteral("C") : i % 6 == 5 ? QStringLiteral("E") : QStringLiteral("V");
}

} // namespace

SampleData::SampleData(const Plan& plan) : m_plan(plan) {
    for (int i = 0; i < plan.priceLists; ++i)
        if (listTypeAt(i) == QLatin1String("V")) m_salesLists << i;
}

Client SampleData::client(int i) const {
    Rng r(m_plan.seed, "client", quint64(i));
    Client c;
    c.code = clientCode(i);
    // A quarter are self-employed people trading under their own name.
    const bool person = r.below(4) == 0;
    const Person owner = erp::person(r);
    c.name = person ? owner.fullName() : firmName(r, clientTrades());
    c.address = address(r, 0.02);
    c.province = r.chance(0.03) ? QVariant() : QVariant(c.address.town.province);
    static const QStringList personIva = {QStringLiteral("4"), QStringLiteral("4"), QStringLiteral("5"),
                                          QStringLiteral("6")};
    static const QStringList firmIva = {QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1"),
                                        QStringLiteral("5")};
    c.iva = r.pick(person ? personIva : firmIva);
    c.documentType = person ? QStringLiteral("NIF") : QStringLiteral("CIF");
    c.documentNumber = person ? nif(r) : cif(r);
    c.zone = r.chance(0.04) ? QVariant() : QVariant(c.address.town.zone);
    c.category = person && r.chance(0.6) ? QStringLiteral("PAR") : r.pick(clientCategories()).code;
    static const QList<int> classes = {1, 1, 1, 2, 2, 3, 4, 5};
    c.priceClass = r.pick(classes);

    // Every vendor has clients through each of the six vendor columns: client i is given
    // vendor (i / 6) mod V in column i mod 6; the other columns are left empty or shared.
    if (m_plan.vendors > 0) {
        const int column = i % 6;
        c.vendors[size_t(column)] = vendorCode((i / 6) % m_plan.vendors);
        for (int k = 0; k < 6; ++k) {
            if (k == column) continue;
            if (r.chance(k == 0 ? 0.5 : 0.1)) c.vendors[size_t(k)] = vendorCode(r.below(m_plan.vendors));
        }
    }
    if (!m_salesLists.isEmpty() && !r.chance(0.12)) c.priceList = priceListCode(r.pick(m_salesLists));
    static const QList<double> discounts = {0, 0, 0, 0, 0, 0, 0, 2.5, 5, 7.5, 10};
    c.discount = r.pick(discounts);
    const Person contact = erp::person(r);
    c.contact = person ? c.name
                       : fit(contact.first + QLatin1Char(' ') + contact.last1 + QStringLiteral(" (") +
                                 r.pick(contactRoles()) + QLatin1Char(')'),
                             70);
    c.inactive = r.chance(0.05);
    c.since = daysFromEpoch(-r.between(30, 3300));
    c.email = person ? mailOf(owner.first + owner.last1, QStringLiteral("correo.es"))
                     : QStringLiteral("info@") + ascii(c.name).left(30) + QStringLiteral(".es");
    return c;
}

Vendor SampleData::vendor(int i) const {
    Rng r(m_plan.seed, "vendor", quint64(i));
    Vendor v;
    v.code = vendorCode(i);
    v.person = person(r);
    v.address = address(r, 0);
    v.documentNumber = nif(r);
    v.email = ascii(v.person.first) + QLatin1Char('.') + ascii(v.person.last1) +
              QStringLiteral("@ventas.example.es");
    v.salesPercent = r.between(4, 12) * 0.5;
    v.collectionPercent = r.between(1, 4) * 0.5;
    v.depot = QStringLiteral("0") + QString::number(r.between(1, 3));
    return v;
}

PriceList SampleData::priceList(int i) const {
    Rng r(m_plan.seed, "pricelist", quint64(i));
    PriceList l;
    l.code = priceListCode(i);
    l.type = listTypeAt(i);
    l.name = priceListNames().at(i % 6);
    if (i >= 6) l.name += QLatin1Char(' ') + QString::number(i / 6 + 1);
    l.withVat = i % 6 == 3;
    l.currency = i % 6 == 5 ? QStringLiteral("2") : QStringLiteral("1");
    // General above wholesale and distributors, the purchase list at cost.
    static const std::array<double, 6> markups = {1.50, 1.25, 1.00, 1.45, 1.20, 1.12};
    l.markup = markups.at(size_t(i % 6)) + (l.type == QLatin1String("C") ? 0.0 : (r.below(9) - 4) * 0.01);
    l.costFormula = QStringLiteral("COSTO");
    for (double factor : kClassFactors)
        l.classFormulas << QStringLiteral("COSTO*%1").arg(l.markup * factor, 0, 'f', 4);
    return l;
}

Article SampleData::article(int i) const {
    Rng r(m_plan.seed, "article", quint64(i));
    Article a;
    const Rubro& rubro = r.pick(rubros());
    const ProductFamily& f = r.pick(rubro.families);
    a.rubro = rubro.code.code;
    a.code = a.rubro + QLatin1Char('-') + QString::number(i + 1).rightJustified(6, QLatin1Char('0'));
    const QString plain = f.noun + QLatin1Char(' ') + r.pick(f.variants) + QLatin1Char(' ') + r.pick(f.sizes);
    const QString branded = plain + QLatin1Char(' ') + r.pick(brands());
    a.description = fit(branded.size() <= 50 ? branded : plain, 50);
    a.barcode = r.chance(0.9) ? QVariant(barcode(r)) : QVariant();
    a.unit = f.unit;
    a.type = r.chance(0.85)  ? QStringLiteral("MER")
             : r.chance(0.6) ? QStringLiteral("REP")
                             : QStringLiteral("INS");
    // Most articles cost little, a few a lot; only + and *, so every platform rounds alike.
    const double u = r.unit();
    a.cost = qMax(0.05, cents(f.minCost + (f.maxCost - f.minCost) * u * u));
    a.vat = r.chance(0.92) ? 21.0 : 10.0;
    return a;
}

double SampleData::price(const Article& article, const PriceList& list, int priceClass) const {
    const double factor = kClassFactors.at(size_t(qBound(1, priceClass, 5) - 1));
    const double vat = list.withVat ? 1.0 + article.vat / 100.0 : 1.0;
    return cents(article.cost * list.markup * factor * vat);
}

Technician SampleData::technician(int i) const {
    Rng r(m_plan.seed, "technician", quint64(i));
    Technician t;
    t.code = technicianCode(i);
    t.person = person(r);
    t.phone =
        QStringLiteral("6") + r.digits(2) + QLatin1Char(' ') + r.digits(3) + QLatin1Char(' ') + r.digits(3);
    t.specialty = r.pick(specialties());
    return t;
}

Task SampleData::task(int i) const {
    Rng r(m_plan.seed, "task", quint64(i));
    Task t;
    t.code = taskCode(i);
    // A long description: what is done, to what, and the conditions, between 120 and 250 characters.
    QString text = r.pick(taskActions()) + QLatin1Char(' ') + r.pick(taskObjects());
    QStringList details = taskDetails();
    while (text.size() < 120 && !details.isEmpty()) {
        const QString detail = details.takeAt(r.below(int(details.size())));
        if (text.size() + 2 + detail.size() < 250) text += QStringLiteral(", ") + detail;
    }
    t.description = text + QLatin1Char('.');
    static const QList<double> hours = {0.5, 1, 1, 1.5, 2, 2, 3, 4, 6, 8};
    t.hours = r.pick(hours);
    t.rate = cents(r.uniform(28, 65));
    t.editable = r.chance(0.5);
    t.exempt = r.chance(0.1);
    t.asksData = r.chance(0.3);
    if (m_plan.technicians > 0 && r.chance(0.7)) t.technician = technicianCode(r.below(m_plan.technicians));
    t.vat = t.exempt ? 0.0 : 21.0;
    if (r.chance(0.8)) {
        QStringList lines;
        QStringList pool = taskChecklist();
        const int count = r.between(3, int(pool.size()));
        for (int k = 0; k < count; ++k)
            lines << QStringLiteral("- ") + pool.takeAt(r.below(int(pool.size())));
        t.notes = lines.join(QStringLiteral("\r\n"));
    }
    return t;
}

Supplier SampleData::supplier(int i) const {
    Rng r(m_plan.seed, "supplier", quint64(i));
    Supplier s;
    s.code = QStringLiteral("P") + QString::number(i + 1).rightJustified(5, QLatin1Char('0'));
    s.name = firmName(r, supplierTrades());
    s.address = address(r, 0.01);
    s.iva = QStringLiteral("1");
    s.documentNumber = cif(r);
    const Person p = person(r);
    s.contact = fit(p.first + QLatin1Char(' ') + p.last1 + QStringLiteral(" (") + r.pick(contactRoles()) +
                        QLatin1Char(')'),
                    70);
    s.email = QStringLiteral("pedidos@") + ascii(s.name).left(30) + QStringLiteral(".es");
    s.inactive = r.chance(0.08);
    return s;
}

Contact SampleData::contact(int i) const {
    Rng r(m_plan.seed, "contact", quint64(i));
    Contact c;
    c.client = m_plan.clients > 0 ? clientCode(r.below(m_plan.clients)) : QString();
    c.person = person(r);
    c.role = r.pick(contactRoles());
    c.address = address(r, 0.05);
    c.email = mailOf(c.person.first + QLatin1Char('.') + c.person.last1, QStringLiteral("correo.es"));
    c.recorded = daysFromEpoch(-r.between(0, 1500)).addSecs(r.between(8 * 3600, 19 * 3600));
    return c;
}

Maintenance SampleData::maintenance(int i) const {
    Rng r(m_plan.seed, "maintenance", quint64(i));
    Maintenance m;
    m.code = QStringLiteral("M") + QString::number(i + 1).rightJustified(5, QLatin1Char('0'));
    m.client = m_plan.clients > 0 ? clientCode(r.below(m_plan.clients)) : QString();
    m.description = QStringLiteral("Contrato de ") + r.pick(taskActions()).toLower() + QLatin1Char(' ') +
                    r.pick(taskObjects());
    m.task = taskCode(r.below(m_plan.tasks));
    m.technician = technicianCode(r.below(m_plan.technicians));
    static const QList<int> periods = {30, 60, 90, 90, 180, 365};
    m.everyDays = r.pick(periods);
    m.next = daysFromEpoch(r.below(m.everyDays));
    m.active = r.chance(0.9);
    return m;
}

QList<User> SampleData::users() const {
    QList<User> list;
    list.append({QStringLiteral("admin"), QStringLiteral("GESTION"), QStringLiteral("admin"), 1});
    QSet<QString> taken = {QStringLiteral("admin")};
    auto add = [&](const Person& p, const QString& system, Rng& r) {
        QString login = ascii(p.first.left(1) + p.last1);
        for (int n = 2; taken.contains(login); ++n)
            login = ascii(p.first.left(1) + p.last1) + QString::number(n);
        taken.insert(login);
        list.append({login, system, ascii(p.last2).left(4) + r.digits(4), 0});
    };
    for (int i = 0; i < m_plan.officeUsers; ++i) {
        Rng r(m_plan.seed, "user", quint64(i));
        add(person(r), QStringLiteral("GESTION"), r);
    }
    for (int i = 0; i < m_plan.vendors; ++i) {
        Rng r(m_plan.seed, "vendor user", quint64(i));
        add(vendor(i).person, QStringLiteral("MOVIL"), r);
    }
    return list;
}

Document SampleData::document(int i) const {
    Rng r(m_plan.seed, "document", quint64(i));
    static const QStringList types = {QStringLiteral("NP"), QStringLiteral("OT"), QStringLiteral("RM"),
                                      QStringLiteral("PR")};
    Document d;
    d.type = types.at(i % 4);
    // Branch 0000 is the office's own numbering; handhelds number their documents under their
    // own branches, so what they bring home never collides with the history.
    d.id = QStringLiteral("0000") + QString::number(i + 1).rightJustified(8, QLatin1Char('0')) +
           QLatin1Char('A');
    d.client = client(r.below(qMax(1, m_plan.clients)));
    d.date = daysFromEpoch(i * 2 + r.below(2)).addSecs(r.between(8 * 3600, 18 * 3600));
    if (d.type == QLatin1String("OT")) {
        const int count = r.between(1, 4);
        for (int k = 0; k < count && m_plan.tasks > 0; ++k) {
            const Task t = task(r.below(m_plan.tasks));
            TaskLine line{t.code,   t.description, t.hours,     t.rate, cents(t.hours * t.rate),
                          t.exempt, t.notes,       t.technician};
            d.net += line.total;
            d.vat += cents(line.total * t.vat / 100.0);
            d.tasks.append(line);
        }
    } else {
        const int count = r.between(1, 6);
        for (int k = 0; k < count && m_plan.articles > 0; ++k) {
            const Article a = article(r.below(m_plan.articles));
            SupplyLine line;
            line.article = a.code.leftJustified(25);
            line.description = a.description;
            line.quantity = a.unit == QLatin1String("MT") || a.unit == QLatin1String("KG")
                                ? r.between(2, 40) * 0.5
                                : r.between(1, 24);
            line.unit = a.unit;
            line.priceWithoutVat = cents(a.cost * 1.35);
            line.price = cents(line.priceWithoutVat * (1.0 + a.vat / 100.0));
            line.total = cents(line.quantity * line.price);
            d.net += cents(line.quantity * line.priceWithoutVat);
            d.vat += cents(line.quantity * (line.price - line.priceWithoutVat));
            d.supplies.append(line);
        }
    }
    d.net = cents(d.net);
    d.vat = cents(d.vat);
    return d;
}

} // namespace kv::erp
