#pragma once

#include <chrono>
#include <cstddef>

namespace kv::cradle {

// The network layer's own limits; the service keeps the body's (CradleService::bodyLimit).
struct CradleNetLimits {
    unsigned connections = 64;          // open at once, lowered to what the file limit allows
    unsigned perAddress = 8;            // open at once from one address
    std::size_t headBytes = 16 * 1024;  // request line and headers
    unsigned headers = 64;              // header fields of one request
    std::chrono::seconds deadline{300}; // to send a whole request, and again to take its answer
    std::chrono::seconds idle{30};      // silence before a connection is dropped
};

} // namespace kv::cradle
