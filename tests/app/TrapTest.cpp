#include "ScriptedOperator.h"
#include "app/Trap.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {
// A step that fails the first `failures` times it runs.
struct Flaky {
    int failures;
    int runs = 0;
    void operator()() {
        if (++runs <= failures) throw RunTimeError(11, QStringLiteral("fallo %1").arg(runs));
    }
};
} // namespace

struct TrapCase {
    const char* name;
    std::vector<int> answers;
    int failures;
    int expectedRuns;     // how often the failing step ran
    bool expectedLeft;    // the procedure was left
    bool nextStepRan;     // the step after it ran
};

class TrapAnswers : public ::testing::TestWithParam<TrapCase> {};

TEST_P(TrapAnswers, ActOnTheOperatorsAnswer) {
    const TrapCase& c = GetParam();
    test::ScopedOperator o;
    for (int a : c.answers) o.person.answer(a);
    Trap trap = Trap::prompting(QStringLiteral("Prueba"));
    Flaky flaky{c.failures};
    bool nextRan = false;
    trap.step(std::ref(flaky));
    trap.step([&] { nextRan = true; });
    EXPECT_EQ(flaky.runs, c.expectedRuns);
    EXPECT_EQ(trap.left(), c.expectedLeft);
    EXPECT_EQ(nextRan, c.nextStepRan);
    EXPECT_EQ(o.person.shownOf(QStringLiteral("error")).size(), std::min<int>(c.failures, c.answers.size() ? int(c.answers.size()) : 1));
}

INSTANTIATE_TEST_SUITE_P(
    Trap, TrapAnswers,
    ::testing::Values(TrapCase{"retry_then_succeed", {mb::Retry, mb::Retry}, 2, 3, false, true},
                      TrapCase{"ignore_goes_on", {mb::Ignore}, 5, 1, false, true},
                      TrapCase{"abort_leaves", {mb::Abort}, 5, 1, true, false},
                      TrapCase{"cancel_leaves", {mb::Cancel}, 5, 1, true, false},
                      TrapCase{"retry_then_leave", {mb::Retry, mb::No}, 5, 2, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Trap, PromptNamesTheProcedureAndTheError) {
    test::ScopedOperator o;
    Trap trap = Trap::prompting(QStringLiteral("CrearTerminales"));
    trap.step([] { throw RunTimeError(3265, QStringLiteral("  Item cannot be found  ")); });
    ASSERT_EQ(o.person.shown().size(), 1);
    const auto& s = o.person.shown().first();
    EXPECT_EQ(s.title, QStringLiteral("CrearTerminales - Aviso al operador!!!"));
    EXPECT_EQ(s.text, QStringLiteral("Ha ocurrido el siguiente error (3265) Item cannot be found"));
    EXPECT_EQ(s.style, mb::Critical + mb::AbortRetryIgnore);
    ASSERT_NE(trap.leavingError(), nullptr);
    EXPECT_EQ(trap.leavingError()->number(), 3265);
}

TEST(Trap, SilentPolicySkipsEachFailingStepWithoutAsking) {
    test::ScopedOperator o;
    Trap trap = Trap::silent();
    int ran = 0;
    for (int i = 0; i < 4; ++i)
        trap.step([&, i] {
            if (i % 2 == 0) throw std::runtime_error("x");
            ++ran;
        });
    EXPECT_EQ(ran, 2);
    EXPECT_FALSE(trap.left());
    EXPECT_TRUE(o.person.shown().isEmpty());
}
