#include "sync/ImportPrompts.h"

#include "app/Operator.h"
#include "data/DB_Dll.h"
#include "data/EngineDriver.h"
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
    if (m_run.unattended) return answerUnattended(e, inDocument, row);
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

namespace {
// The failure is the document's own: a value the engine refused, or one the program could not
// convert; never a failure of the connection.
bool documentsOwnFault(const RunTimeError& e) {
    Connection& erp = ErpDb().gCnn;
    if (erp.lost()) return false;
    if (e.number() != adoerr::Failure && e.number() != adoerr::ErrorsInCommand) return true;
    const ProviderErrors& errors = erp.errors();
    return errors.count() > 0 && errors.item(0).description == e.description() && isRefusedValue(errors.item(0));
}
} // namespace

int ImportPrompts::answerUnattended(const RunTimeError& e, bool inDocument, int row) {
    if (!inDocument || !documentsOwnFault(e)) return mb::Abort;
    m_batch.dropDocument();
    m_run.leftOut.append({m_run.currentKey, e.description()});
    throw ImportRestart{row + 1};
}

} // namespace kv
