#include "app/EscapedError.h"

#include "app/GeneralFunctions.h"
#include "app/Operator.h"
#include "app/Trap.h"

namespace kv {

void MostrarError(std::exception_ptr error, const QString& procedure) {
    TratarError(asRunTimeError(error), mb::Critical + mb::OkOnly, procedure);
}

int ReportarError(QTextStream& err, std::exception_ptr error, const QString& procedure) {
    err << TituloError(procedure) << ": " << TextoError(asRunTimeError(error)) << Qt::endl;
    return 1;
}

} // namespace kv
