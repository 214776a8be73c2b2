#pragma once

#include "cradle/CradleService.h"
#include "cradle/net/NetLimits.h"

struct MHD_Connection;

namespace kv::cradle {

// The head of the request on `mhd` as the service sees it, checked before any of its body is
// read: one length (a Content-Length or chunks, never both), the network layer's limits on the
// head, then the service's own checks and the largest body it takes (*bodyLimit). The refusal
// when one of them fails.
std::optional<CradleAnswer> readRequestHead(MHD_Connection* mhd, const char* url, const char* method,
                                            const CradleNetLimits& limits, const CradleService& service,
                                            CradleHead& head, qint64* bodyLimit);

} // namespace kv::cradle
