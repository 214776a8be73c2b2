#include "app/RunTimeError.h"

namespace kv {

RunTimeError::RunTimeError(long number, const QString& description, const QString& source)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description),
      m_source(source.isEmpty() ? QStringLiteral("kvcontrol") : source) {}

RunTimeError RunTimeError::numbered(long number, const QString& source) {
    return RunTimeError(number, err::textOf(number), source);
}

QString err::textOf(long number) {
    switch (number) {
    case OperationNotAllowed: return QStringLiteral("Operation is not allowed in this context.");
    case ObjectClosed: return QStringLiteral("Operation is not allowed when the object is closed.");
    case ObjectOpen: return QStringLiteral("Operation is not allowed when the object is open.");
    case ItemNotFound:
        return QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal.");
    case NoCurrentRecord:
        return QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. Requested "
                              "operation requires a current record.");
    default: return QString();
    }
}

} // namespace kv
