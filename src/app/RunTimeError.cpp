#include "app/RunTimeError.h"

namespace kv {

RunTimeError::RunTimeError(long number, const QString& description, const QString& source)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description),
      m_source(source.isEmpty() ? QStringLiteral("kvcontrol") : source) {}

} // namespace kv
