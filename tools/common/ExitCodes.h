#pragma once

// The exit status of every tool: the one table the README and each --help show.
namespace kv::cli::exitcode {
inline constexpr int Done = 0;      // the command did its job
inline constexpr int Failed = 1;    // it could not (the reason on stderr)
inline constexpr int Usage = 2;     // wrong arguments (the reason and the usage line on stderr)
inline constexpr int Cancelled = 3; // cancelled by the operator or a signal, or timed out

// The table as the help of every tool ends.
inline constexpr const char* Table = "Exit status: 0 done, 1 failed (reason on stderr), 2 wrong arguments\n"
                                     "(reason and usage line on stderr), 3 cancelled or timed out.";
} // namespace kv::cli::exitcode
