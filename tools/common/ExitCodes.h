#pragma once

// The exit status of every tool, as the README's table and each --help say.
namespace kv::cli::exitcode {
inline constexpr int Done = 0;      // the command did its job
inline constexpr int Failed = 1;    // it could not (the reason on stderr)
inline constexpr int Usage = 2;     // wrong arguments (the usage line on stderr)
inline constexpr int Cancelled = 3; // cancelled by the operator or a signal, or timed out
} // namespace kv::cli::exitcode
