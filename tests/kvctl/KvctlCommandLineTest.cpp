// kvctl's command line, in process: every command answers --help and help CMD, the tool its
// version; the tool's options stand before or after the command's words; each mistake is a usage
// error (exit 2) with the reason and the usage line; each outcome has its status of the table.
#include "CaseName.h"
#include "Command.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

struct LineCase {
    std::string name;
    QStringList args; // --home HOME is added after the first word
    int exitCode;
    const char* out; // part of stdout ("" for none at all)
    const char* err; // part of stderr ("" for none at all)
};

class KvctlCommandLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(KvctlCommandLine, AnswersWithStatusAndText) {
    const LineCase& c = GetParam();
    test::TempHome home;
    QString out, err, in;
    QTextStream o(&out), e(&err), i(&in);
    QStringList args = c.args;
    args.replaceInStrings(QStringLiteral("HOME"), home.path());
    const qsizetype at = args.isEmpty() ? 0 : 1;
    args.insert(at, home.path());
    args.insert(at, QStringLiteral("--home"));
    const int status = cli::runKvctl(args, o, e, i, false);
    o.flush();
    e.flush();
    out.replace(home.path(), QStringLiteral("HOME"));
    err.replace(home.path(), QStringLiteral("HOME"));
    EXPECT_EQ(status, c.exitCode) << qPrintable(err);
    EXPECT_TRUE(*c.out ? out.contains(QString::fromUtf8(c.out)) : out.isEmpty()) << qPrintable(out);
    EXPECT_TRUE(*c.err ? err.contains(QString::fromUtf8(c.err)) : err.isEmpty()) << qPrintable(err);
}

INSTANTIATE_TEST_SUITE_P(
    Kvctl, KvctlCommandLine,
    ::testing::Values(
        LineCase{"version", {"--version"}, 0, "kvctl 1.0.0\n", ""},
        LineCase{"help_lists_commands_and_statuses", {"--help"}, 0, "3 cancelled or timed out", ""},
        LineCase{"help_command", {"help", "send"}, 0, "Usage: kvctl send [OPTIONS] N", ""},
        LineCase{"help_two_words", {"help", "conduit", "wait"}, 0, "Usage: kvctl conduit wait [OPTIONS]", ""},
        LineCase{"command_help", {"history", "--help"}, 0, "--format text|tsv|json", ""},
        LineCase{"no_command", {}, 2, "", "Usage: kvctl [OPTIONS] SUBCOMMAND"},
        LineCase{"unknown_command", {"sned", "1"}, 2, "", "kvctl: unknown command \"sned\""},
        LineCase{"unknown_second_word", {"conduit", "frob"}, 2, "", "unknown command \"conduit frob\""},
        LineCase{"unknown_option", {"devices", "--colour"}, 2, "", "kvctl devices: The following argument was not expected: --colour\nUsage: kvctl devices"},
        LineCase{"missing_argument", {"send", "--no-wait"}, 2, "", "kvctl send: N is required\nUsage: kvctl send [OPTIONS] N"},
        LineCase{"missing_value", {"receive", "1", "--timeout"}, 2, "", "--timeout: 1 required SECONDS missing"},
        LineCase{"wrong_value", {"conduit", "wait", "--timeout", "0"}, 2, "", "kvctl conduit wait: --timeout needs a whole number of seconds from 1\nUsage: kvctl conduit wait"},
        LineCase{"wrong_format", {"devices", "--format", "xml"}, 2, "", "--format takes text or json, not \"xml\""},
        LineCase{"wrong_policy", {"conduit", "show", "--on-error", "maybe"}, 2, "", "--on-error takes abort, retry or ignore"},
        LineCase{"global_option_after_words", {"conduit", "show", "--quiet"}, 1, "", "not registered in HOME/kvconduit.ini"},
        LineCase{"done", {"translate", "--to", "sqlite", "SELECT TOP 1 * FROM T"}, 0, "LIMIT 1", ""},
        LineCase{"failed", {"store", "init", "HOME/none/s.mdb"}, 1, "", "does not exist"},
        LineCase{"unknown_option_named_before_a_missing_argument", {"filters", "--bogus"}, 2, "", "kvctl filters: The following argument was not expected: --bogus\nUsage: kvctl filters [OPTIONS] N"},
        LineCase{"unknown_option_after_the_argument", {"send", "1", "--no-wiat"}, 2, "", "kvctl send: The following argument was not expected: --no-wiat\nUsage: kvctl send"},
        LineCase{"not_a_cradle_address", {"cradle", "status", "--url", "notaurl"}, 2, "", "--url takes the cradle's address, http://HOST:PORT or https://HOST:PORT, not \"notaurl\"\nUsage: kvctl cradle status"},
        LineCase{"timed_out", {"conduit", "wait", "--timeout", "1"}, 3, "Esperando Conexi", "kvctl conduit wait: timed out: the command did not end within its limit of 1 s (--timeout)\n"},
        LineCase{"quiet_wait_says_only_why", {"conduit", "wait", "--timeout", "1", "-q"}, 3, "", "kvctl conduit wait: timed out"}),
    test::CaseName());

} // namespace
