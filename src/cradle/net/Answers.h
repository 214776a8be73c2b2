#pragma once

#include "cradle/CradleService.h"

struct MHD_Response;

namespace kv::cradle {

// The HTTP answer for `answer`: its body, or its file streamed from the descriptor (never read
// whole), with its headers; *bytes is the body's size. An answer file that cannot be opened
// turns `answer` into a fault of the cradle's. Null only when memory runs out.
MHD_Response* responseFor(CradleAnswer& answer, qint64* bytes);

// A fault of the cradle itself: the client is told nothing of the server, the log is.
CradleAnswer cradleFault(qint32 device, const QString& outcome);

// The outcome of an answer the HTTP library made itself, for a request it would not pass on.
QString libraryOutcome(unsigned status);

} // namespace kv::cradle
