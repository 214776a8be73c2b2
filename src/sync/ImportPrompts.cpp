#include "sync/ImportPrompts.h"

#include "app/Operator.h"
#include "data/Recordset.h"
#include "sync/ImportBatch.h"
#include "sync/SyncRun.h"

namespace kv {

ImportPrompts::ImportPrompts(SyncRunState& run, ImportBatch& batch, const Recordset& docs)
    : m_run(run), m_batch(batch), m_docs(docs) {
    m_ask = m_run.trap.exchangeHandler([this](const RunTimeError& e) { return handle(e); });
}

ImportPrompts::~ImportPrompts() {
    m_run.trap.exchangeHandler(std::move(m_ask));
}

void ImportPrompts::documentBegins() {
    m_run.occurrences.clear();
}

int ImportPrompts::handle(const RunTimeError& e) {
    if (m_batch.inGroup()) throw GroupFailed{};
    const bool inDocument = m_batch.inDocument();
    const int row = m_docs.position();
    const SyncRunState::Statement statement = m_run.current;
    if (inDocument)
        for (const Ignored& i : m_ignored)
            if (i.row == row && i.statement == statement && i.number == e.number())
                return mb::Ignore;
    const std::optional<int> lost = m_batch.pause();
    const int answer = m_ask(e);
    if (answer != mb::Retry && answer != mb::Ignore) return answer;
    if (inDocument) {
        if (answer == mb::Ignore) m_ignored.append({row, statement, e.number()});
        throw ImportRestart{answer == mb::Retry && lost ? *lost : row};
    }
    if (lost && answer == mb::Retry) throw ImportRestart{*lost};
    return answer;
}

} // namespace kv
