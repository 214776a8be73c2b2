#include "Capture.h"

#include "app/RunTimeError.h"
#include "cradle/HandheldDevice.h"
#include "cradle/SqliteFile.h"
#include "store/StoreFile.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <QHash>
#include <QMap>
#include <QRandomGenerator>

namespace kv::handheld {

using cradle::Database;
using cradle::Statement;
using cradle::Transaction;

namespace {

const QString kSource = QStringLiteral("capture");
constexpr qint64 kLastNumber = 99999999; // eight digits
constexpr int kMaxLines = 5;
constexpr int kPriceClasses = 5; // PRECIO1 to PRECIO5

double round2(double v) {
    return std::round(v * 100.0) / 100.0;
}

// What the person picks from: the handheld's clients, articles with their prices, and tasks.
struct Client {
    QString id;
    QString list;
    int priceClass = 1; // 1 to 5
    double discount = 0;
};

struct Article {
    QString id;
    QString description;
    QVariant unit;
    double vatRate = 0;
    std::optional<double> ownPrice[4]; // IMPORTE, IMPORTE2 .. IMPORTE4
};

struct ListEntry {
    int article = 0; // index into the articles
    bool withVat = false;
    std::optional<double> prices[kPriceClasses];
};

struct PricedArticle {
    const Article* article = nullptr;
    double net = 0;       // unit price without VAT
    double gross = 0;     // unit price with VAT
    bool withVat = false; // the list's price is the one with VAT
};

struct Task {
    QString id;
    QString description;
    QVariant additional;
    double hours = 0; // estimated; 0 when unknown
    double rate = 0;  // per hour, without VAT
    double vatRate = 0;
};

struct Line {
    QVariant task, article, unit, additional, hours;
    QString description;
    double quantity = 0;
    double price = 0;    // MV_CPTE_DET_PRECIO: with VAT for articles, the hourly rate for tasks
    double priceNet = 0; // MV_CPTE_DET_PRECIO_S_IVA
    double discount = 0;
    double net = 0; // the line's amount without VAT
    double vat = 0;
    double internalTaxes = 0;
    double total = 0;
    bool taxed = false;
};

std::optional<double> number(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? std::optional<double>(d) : std::nullopt;
}

class Catalogue {
public:
    explicit Catalogue(const Database& db) {
        loadClients(db);
        loadArticles(db);
        loadTasks(db);
    }

    const QList<Client>& clients() const { return m_clients; }
    const QList<Task>& tasks() const { return m_tasks; }

    // The articles the client can be sold with their prices: the client's own price list, else
    // the first list the handheld holds, else the prices kept on the articles themselves.
    const QList<PricedArticle>& pricesFor(const Client& client) {
        const QString cacheKey = client.list + QLatin1Char('|') + QString::number(client.priceClass);
        auto found = m_priced.find(cacheKey);
        if (found != m_priced.end()) return *found;
        QList<PricedArticle> priced = fromList(client.list, client.priceClass);
        for (auto it = m_lists.cbegin(); priced.isEmpty() && it != m_lists.cend(); ++it)
            priced = fromList(it.key(), client.priceClass);
        if (priced.isEmpty()) priced = fromArticles(client.priceClass);
        return *m_priced.insert(cacheKey, priced);
    }

private:
    void loadClients(const Database& db) {
        Statement st(db, QStringLiteral("SELECT IDCLIENTE, IDLISTA, CLASE_PRECIO, DESCUENTO FROM MA_CLIENTES "
                                        "WHERE trim(IDCLIENTE) <> '' ORDER BY IDCLIENTE"));
        while (st.next()) {
            Client c;
            c.id = st.value(0).toString();
            c.list = st.value(1).toString().trimmed();
            const int cls = st.value(2).toInt();
            c.priceClass = cls >= 1 && cls <= kPriceClasses ? cls : 1;
            c.discount = std::clamp(number(st.value(3)).value_or(0), 0.0, 100.0);
            m_clients << c;
        }
    }

    void loadArticles(const Database& db) {
        Statement st(db, QStringLiteral("SELECT IDARTICULO, DESCRIPCION, UNIDAD, ALICIVA, IMPORTE, IMPORTE2, "
                                        "IMPORTE3, IMPORTE4 FROM MA_ARTICULOS WHERE trim(IDARTICULO) <> '' "
                                        "ORDER BY IDARTICULO"));
        QHash<QString, int> index;
        while (st.next()) {
            Article a;
            a.id = st.value(0).toString();
            if (index.contains(a.id.trimmed())) continue;
            a.description = st.value(1).toString();
            a.unit = st.value(2);
            a.vatRate = std::max(0.0, number(st.value(3)).value_or(0));
            for (int i = 0; i < 4; ++i)
                a.ownPrice[i] = number(st.value(4 + i));
            index.insert(a.id.trimmed(), int(m_articles.size()));
            m_articles << a;
        }
        // Several entries of one list may name the same article under other list names: the
        // first (by name) counts.
        Statement prices(db, QStringLiteral("SELECT IDLISTA, IDARTICULO, CONIVA, PRECIO1, PRECIO2, PRECIO3, "
                                            "PRECIO4, PRECIO5 FROM MA_PRECIOS WHERE trim(IDLISTA) <> '' "
                                            "ORDER BY IDLISTA, IDARTICULO, NOMBRE"));
        QString lastKey;
        while (prices.next()) {
            const QString list = prices.value(0).toString().trimmed();
            const auto article = index.constFind(prices.value(1).toString().trimmed());
            const QString key = list + QLatin1Char('|') + prices.value(1).toString().trimmed();
            if (article == index.constEnd() || key == lastKey) continue;
            lastKey = key;
            ListEntry e;
            e.article = *article;
            e.withVat = prices.value(2).toLongLong() != 0;
            for (int i = 0; i < kPriceClasses; ++i)
                e.prices[i] = number(prices.value(3 + i));
            m_lists[list] << e;
        }
    }

    void loadTasks(const Database& db) {
        Statement st(db,
                     QStringLiteral("SELECT IDTAREA, DESCRIPCION, HORASESTIMADAS, VALORHORA, EXENTO, "
                                    "TASAIVA, DESCRIPCIONADICIONAL FROM TA_TAREAS WHERE trim(IDTAREA) <> '' "
                                    "ORDER BY IDTAREA"));
        while (st.next()) {
            Task t;
            t.id = st.value(0).toString();
            t.description = st.value(1).toString();
            t.hours = std::max(0.0, number(st.value(2)).value_or(0));
            t.rate = std::max(0.0, number(st.value(3)).value_or(0));
            const bool exempt = st.value(4).toLongLong() != 0;
            t.vatRate = exempt ? 0 : std::max(0.0, number(st.value(5)).value_or(0));
            t.additional = st.value(6);
            m_tasks << t;
        }
    }

    QList<PricedArticle> fromList(const QString& list, int priceClass) const {
        QList<PricedArticle> out;
        for (const ListEntry& e : m_lists.value(list)) {
            // A list without a price for the client's class sells at its first price.
            const std::optional<double> price =
                e.prices[priceClass - 1] ? e.prices[priceClass - 1] : e.prices[0];
            if (!price || *price < 0) continue;
            const Article& a = m_articles.at(e.article);
            const double factor = 1 + a.vatRate / 100;
            out << (e.withVat ? PricedArticle{&a, round2(*price / factor), round2(*price), true}
                              : PricedArticle{&a, round2(*price), round2(*price * factor), false});
        }
        return out;
    }

    // The articles' own prices are without VAT; class 5 has none of its own and takes the first.
    QList<PricedArticle> fromArticles(int priceClass) const {
        QList<PricedArticle> out;
        for (const Article& a : m_articles) {
            const std::optional<double> own = priceClass <= 4 ? a.ownPrice[priceClass - 1] : std::nullopt;
            const std::optional<double> price = own ? own : a.ownPrice[0];
            if (!price || *price < 0) continue;
            out << PricedArticle{&a, round2(*price), round2(*price * (1 + a.vatRate / 100)), false};
        }
        return out;
    }

    QList<Client> m_clients;
    QList<Article> m_articles;
    QMap<QString, QList<ListEntry>> m_lists; // by IDLISTA, in order
    QList<Task> m_tasks;
    QHash<QString, QList<PricedArticle>> m_priced;
};

// `count` distinct indexes below `size`, in the order drawn.
QList<int> pick(QRandomGenerator& rng, int size, int count) {
    QList<int> all(size);
    std::iota(all.begin(), all.end(), 0);
    for (int i = 0; i < count; ++i)
        std::swap(all[i], all[i + int(rng.bounded(quint32(size - i)))]);
    return all.mid(0, count);
}

Line articleLine(const PricedArticle& p, double quantity, double discount) {
    Line l;
    l.article = p.article->id;
    l.unit = p.article->unit;
    l.description = p.article->description;
    l.quantity = quantity;
    l.price = p.gross;
    l.priceNet = p.net;
    l.discount = discount;
    // The amount is worked out from the price the list gives, so a list with VAT included sells
    // six at 60 for 360, and the VAT is taken out of it.
    const double rate = p.article->vatRate / 100;
    if (p.withVat) {
        const double amount = round2(quantity * p.gross * (1 - discount / 100));
        l.net = round2(amount / (1 + rate));
        l.vat = round2(amount - l.net);
    } else {
        l.net = round2(quantity * p.net * (1 - discount / 100));
        l.vat = round2(l.net * rate);
    }
    l.total = round2(l.net + l.vat + l.internalTaxes);
    l.taxed = p.article->vatRate > 0;
    return l;
}

// A task line's total is its hours at the hourly rate, before VAT, as the ERP's task lines keep
// it; the VAT goes on the line's VAT amount and into the header.
Line taskLine(const Task& t, double hours) {
    Line l;
    l.task = t.id;
    l.description = t.description;
    l.additional = t.additional;
    l.hours = hours;
    l.quantity = hours;
    l.price = t.rate;
    l.priceNet = t.rate;
    l.net = round2(hours * t.rate);
    l.vat = round2(l.net * t.vatRate / 100);
    l.total = l.net;
    l.taxed = t.vatRate > 0;
    return l;
}

struct Document {
    QString type;
    QString branch;
    qint64 number = 0;
    const Client* client = nullptr;
    QDate date, delivery;
    QList<Line> lines;
};

class Writer {
public:
    explicit Writer(const Database& db)
        : m_header(db,
                   QStringLiteral(
                       "INSERT INTO MV_CPTE (MV_CPTE_TSNL, MV_CPTE_FECHA, MV_CPTE_FECHA_ENTREGA, "
                       "MV_CPTE_TIPOREG, MV_CPTE_IDCOMPROBANTE, MV_CPTE_CLASEPRECIO, MV_CPTE_CLASE_PRECIO, "
                       "MV_CPTE_DTOGLOBAL, MV_CPTE_IDCLIENTE, MV_CPTE_ITEMS, MV_CPTE_IMPORTE_S_IVA, "
                       "MV_CPTE_IMPORTE_TOTAL, MV_CPTE_IMPORTE_IVA, MV_CPTE_NETO_GRAV, MV_CPTE_NETO_NO_GRAV) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")),
          m_line(db,
                 QStringLiteral(
                     "INSERT INTO MV_CPTE_DETALLE (MV_CPTE_DET_TSNL, MV_CPTE_DET_ITEM, MV_CPTE_DET_IDTAREA, "
                     "MV_CPTE_DET_DESCRIPCION, MV_CPTE_DET_HORAS, MV_CPTE_DET_PRECIO, "
                     "MV_CPTE_DET_PRECIO_S_IVA, MV_CPTE_DET_TOTAL, MV_CPTE_DET_DESCR_ADIC_tarea, "
                     "MV_CPTE_DET_IDcliente, MV_CPTE_DET_FECHA, MV_CPTE_DET_FECHA_ENTREGA, "
                     "MV_CPTE_DET_IDarticulo, MV_CPTE_DET_dto, MV_CPTE_DET_CANTIDAD, MV_CPTE_DET_UNIDAD, "
                     "MV_CPTE_DET_IMP_IVA, MV_CPTE_DET_IMP_INT) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")) {}

    CapturedDocument write(const Document& d) {
        const QString key = documentKey(d.type, d.number, d.branch);
        const QString date = d.date.toString(Qt::ISODate);
        const QString delivery = d.delivery.toString(Qt::ISODate);
        double net = 0, vat = 0, internal = 0, taxed = 0, untaxed = 0;
        int item = 0;
        for (const Line& l : d.lines) {
            net += l.net;
            vat += l.vat;
            internal += l.internalTaxes;
            (l.taxed ? taxed : untaxed) += l.net;
            m_line.bindAll({key, ++item, l.task, l.description, l.hours, l.price, l.priceNet, l.total,
                            l.additional, d.client->id, date, delivery, l.article, l.discount, l.quantity,
                            l.unit, l.vat, l.internalTaxes});
            m_line.run();
        }
        const double total = round2(round2(net) + round2(vat) + round2(internal));
        // The discount is carried on each line, so the document has no global one.
        m_header.bindAll({key, date, delivery, d.type, key.mid(2), d.client->priceClass, d.client->priceClass,
                          0.0, d.client->id, int(d.lines.size()), round2(net), total, round2(vat),
                          round2(taxed), round2(untaxed)});
        m_header.run();
        return {key, d.client->id, int(d.lines.size()), total};
    }

private:
    Statement m_header;
    Statement m_line;
};

// The highest number the handheld holds for the type at this branch; lines count too, so a line
// left without its document is never joined by a new one.
qint64 highestNumber(const Database& db, const QString& type, const QString& branch) {
    return db
        .value(QStringLiteral("SELECT max(CAST(substr(k, 7, 8) AS INTEGER)) FROM ("
                              "SELECT MV_CPTE_TSNL AS k FROM MV_CPTE UNION ALL "
                              "SELECT MV_CPTE_DET_TSNL FROM MV_CPTE_DETALLE) "
                              "WHERE length(k) = 15 AND upper(substr(k, 1, 2)) = ? AND substr(k, 3, 4) = ? "
                              "AND substr(k, 7, 8) GLOB '[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]'"),
               {type, branch})
        .toLongLong();
}

[[noreturn]] void refuse(long number, const QString& text) {
    throw RunTimeError(number, text + QStringLiteral(" Nothing was captured."), kSource);
}

qint64 lastUsed(const Database& db, const QString& type, const QString& branch) {
    return std::max(highestNumber(db, type, branch), cradle::lastNumber(db, type, branch));
}
} // namespace

QString documentKey(const QString& type, qint64 number, const QString& branch) {
    return type + branch + QStringLiteral("%1").arg(number, 8, 10, QLatin1Char('0')) + kLetter;
}

QList<CapturedDocument> capture(const QString& handheldPath, const CaptureRequest& request,
                                const QDate& today) {
    const Database db(handheldPath, QStringLiteral("handheld"), Trust::Untrusted);
    if (const cradle::StoreProblem problem = storeProblems(db)) refuse(storeerr::CannotOpen, problem.text);

    const QString branch = cradle::branchOf(cradle::handheldDevice(db));
    Transaction transaction(db);
    Catalogue catalogue(db);
    if (catalogue.clients().isEmpty())
        refuse(captureerr::NoClients,
               QStringLiteral("The handheld %1 has no clients yet: a sync with the conduit registered for "
                              "sending brings them.")
                   .arg(db.path()));
    if (request.workOrders > 0 && catalogue.tasks().isEmpty())
        refuse(
            captureerr::NothingToSell,
            QStringLiteral("The handheld %1 has no tasks (TA_TAREAS) to put on work orders.").arg(db.path()));

    const QList<std::pair<QString, int>> plan = {{kOrder, request.orders},
                                                 {kDeliveryNote, request.deliveries},
                                                 {kQuote, request.quotes},
                                                 {kWorkOrder, request.workOrders}};
    QRandomGenerator rng(request.seed);
    Writer writer(db);
    QList<CapturedDocument> captured;
    for (const auto& [type, count] : plan) {
        if (count <= 0) continue;
        const qint64 first = lastUsed(db, type, branch) + 1;
        if (first + count - 1 > kLastNumber)
            refuse(captureerr::NumbersExhausted,
                   QStringLiteral("The handheld %1 has no %2 numbers left at branch %3.")
                       .arg(db.path(), type, branch));
        for (int i = 0; i < count; ++i) {
            Document d;
            d.type = type;
            d.branch = branch;
            d.number = first + i;
            d.client = &catalogue.clients().at(int(rng.bounded(quint32(catalogue.clients().size()))));
            d.date = today;
            // A delivery note goes with the goods; the others promise a day within the week.
            d.delivery = type == kDeliveryNote ? today : today.addDays(1 + rng.bounded(7));
            if (type == kWorkOrder) {
                const QList<Task>& tasks = catalogue.tasks();
                const int size = int(tasks.size());
                for (int t : pick(rng, size, 1 + int(rng.bounded(quint32(std::min(kMaxLines, size)))))) {
                    const double hours =
                        tasks.at(t).hours > 0 ? tasks.at(t).hours : 0.5 * (1 + rng.bounded(16));
                    d.lines << taskLine(tasks.at(t), hours);
                }
            } else {
                const QList<PricedArticle>& priced = catalogue.pricesFor(*d.client);
                if (priced.isEmpty())
                    refuse(captureerr::NothingToSell,
                           QStringLiteral("The handheld %1 has no priced articles (MA_PRECIOS, MA_ARTICULOS) "
                                          "for %2 documents.")
                               .arg(db.path(), type));
                const int size = int(priced.size());
                for (int a : pick(rng, size, 1 + int(rng.bounded(quint32(std::min(kMaxLines, size))))))
                    d.lines << articleLine(priced.at(a), 1 + rng.bounded(10), d.client->discount);
            }
            captured << writer.write(d);
        }
        cradle::raiseLastNumber(db, type, branch, first + count - 1);
    }
    transaction.commit();
    return captured;
}

} // namespace kv::handheld
