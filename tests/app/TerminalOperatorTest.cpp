#include "app/TerminalOperator.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

struct PolicyCase {
    const char* name;
    TerminalOperator::OnError policy;
    int style;
    int answer;
};

class TerminalPolicies : public ::testing::TestWithParam<PolicyCase> {};

// An information message is the command's output; a prompt goes to stderr with its answer.
TEST_P(TerminalPolicies, AnswerPromptsFromTheOption) {
    QString printed, errors;
    QTextStream out(&printed), err(&errors);
    QString none;
    QTextStream in(&none);
    TerminalOperator t(out, err, in, false);
    t.setOnError(GetParam().policy);
    EXPECT_EQ(t.messageBox(QStringLiteral("uno\rdos"), GetParam().style, QStringLiteral("Aviso")), GetParam().answer);
    const bool report = GetParam().style == mb::Information;
    EXPECT_EQ(report ? printed : errors,
              QStringLiteral("Aviso: uno\ndos\n") +
                  (report ? QString() : QStringLiteral("  Answer: ") + mb::answerWord(GetParam().answer) + '\n'));
    EXPECT_TRUE((report ? errors : printed).isEmpty());
}

using P = TerminalOperator::OnError;
INSTANTIATE_TEST_SUITE_P(Styles, TerminalPolicies,
                         ::testing::Values(PolicyCase{"ok_message", P::Abort, 64, 1},
                                           PolicyCase{"abort", P::Abort, 18, 3}, PolicyCase{"retry", P::Retry, 18, 4},
                                           PolicyCase{"ignore", P::Ignore, 18, 5},
                                           PolicyCase{"yes_no_retry_is_yes", P::Retry, 20, 6},
                                           PolicyCase{"yes_no_abort_is_no", P::Abort, 20, 7},
                                           PolicyCase{"yes_no_ignore_is_no", P::Ignore, 20, 7}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TerminalOperator, RetryGivesUpOnAPermanentFailure) {
    QString printed;
    QTextStream out(&printed);
    QString none;
    QTextStream in(&none);
    TerminalOperator t(out, in, false);
    t.setOnError(P::Retry);
    int retries = 0;
    while (t.errorPrompt(QStringLiteral("siempre falla"), 18, QStringLiteral("X")) == 4) ASSERT_LE(++retries, 10);
    EXPECT_EQ(retries, TerminalOperator::MaxRetries);
}

TEST(TerminalOperator, QuestionsWithoutATerminalCountAsCancelled) {
    QString printed;
    QTextStream out(&printed);
    QString typed = QStringLiteral("secreto\n");
    QTextStream in(&typed);
    TerminalOperator t(out, in, false);
    EXPECT_FALSE(t.inputBox(QStringLiteral("ingrese el password:"), QStringLiteral("Password Access")));
    EXPECT_FALSE(t.openFile(QStringLiteral("Buscar Base de Datos"), QStringLiteral("*.MDB")));
    ConnectionValues v;
    EXPECT_FALSE(t.connectionDialog(v));
}

TEST(TerminalOperator, ConnectionDialogKeepsValuesLeftEmpty) {
    QString printed;
    QTextStream out(&printed);
    QString typed = QStringLiteral("\nclave\nerp2\n\n2\n");
    QTextStream in(&typed);
    TerminalOperator t(out, in, true);
    ConnectionValues v{QStringLiteral("erp"), QStringLiteral("srv"), QStringLiteral("ana"), QString(), 0};
    ASSERT_TRUE(t.connectionDialog(v));
    EXPECT_EQ(v.user, QStringLiteral("ana"));
    EXPECT_EQ(v.password, QStringLiteral("clave"));
    EXPECT_EQ(v.dbName, QStringLiteral("erp2"));
    EXPECT_EQ(v.server, QStringLiteral("srv"));
    EXPECT_EQ(v.platform, 2);
    EXPECT_FALSE(printed.contains(QStringLiteral("clave"))) << "the password is never echoed";
}

} // namespace
