#pragma once

#include <QString>
#include <stdexcept>

namespace kv {

// A trapped failure: every procedure that can fail throws one of these, and the trap of the
// calling procedure shows it to the operator (number, description, source).
class RunTimeError : public std::runtime_error {
public:
    RunTimeError(long number, const QString& description, const QString& source = QString());
    // An error whose text is fixed by its number (err::textOf): the two never come apart.
    static RunTimeError numbered(long number, const QString& source = QString());

    long number() const { return m_number; }
    const QString& description() const { return m_description; }
    const QString& source() const { return m_source; }

private:
    long m_number;
    QString m_description;
    QString m_source;
};

// Error numbers the program reacts to by value.
namespace err {
constexpr long InvalidProcedureCall = 5;   // lets start-up go on with the next statement
constexpr long ItemNotFound = 3265;        // a field name the record set does not have
constexpr long OperationNotAllowed = 3219; // an operation the object's present state does not allow
constexpr long ObjectClosed = 3704;        // e.g. reading a closed record set
constexpr long ObjectOpen = 3705;          // e.g. opening a record set that is open
constexpr long NotSupported = 3251;        // e.g. AddNew on a read-only record set
constexpr long NoCurrentRecord = 3021;     // reading at BOF or EOF
constexpr long ProviderError = -2147467259; // a failure reported by the database engine
constexpr long PathFileAccess = 75;        // a file that cannot be read or written

// The standard text of a numbered error the data layer raises with a fixed text; empty for a
// number without one.
QString textOf(long number);
} // namespace err

} // namespace kv
