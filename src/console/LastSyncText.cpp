#include "console/LastSyncText.h"


namespace kv {

namespace {

// The job and how it ended, agreeing with the job's gender as the tile reads it.
QString jobOutcome(history::Direction d, history::Outcome o) {
    using history::Direction;
    using history::Outcome;
    const bool feminine = d == Direction::Receive;
    const QString job = d == Direction::Send      ? QStringLiteral("envío")
                        : d == Direction::Receive ? QStringLiteral("recepción")
                                                  : QStringLiteral("intercambio");
    switch (o) {
    case Outcome::Done:
        return job + (feminine ? QStringLiteral(" correcta") : QStringLiteral(" correcto"));
    case Outcome::Cancelled:
        return job + (feminine ? QStringLiteral(" cancelada") : QStringLiteral(" cancelado"));
    case Outcome::Failed:
        break;
    }
    return job + QStringLiteral(" falló");
}

} // namespace

QString LastSyncText::line() const {
    return outcome.isEmpty() ? when : when + QStringLiteral(" · ") + outcome;
}

LastSyncText lastSyncText(const history::Record* last) {
    if (!last) return {QStringLiteral("Última sincronización: ninguna"), QString()};
    // The sync happens as the job ends (a send waits for it); a record without an end has its start.
    const QDateTime when = last->endedAt.isValid() ? last->endedAt : last->startedAt;
    return {QStringLiteral("Última sincronización: ") + when.toString(QStringLiteral("dd/MM HH:mm")),
            jobOutcome(last->direction, last->outcome)};
}

} // namespace kv
