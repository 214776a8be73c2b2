#include "Command.h"

namespace kv::cli {

std::unique_ptr<Command> makeStoreInit();
std::unique_ptr<Command> makeDevices();
std::unique_ptr<Command> makeFilters();
std::unique_ptr<Command> makeSend();
std::unique_ptr<Command> makeReceive();
std::unique_ptr<Command> makePreview();
std::unique_ptr<Command> makeHistory();
std::unique_ptr<Command> makeTranslate();
std::unique_ptr<Command> makeCheck();
std::vector<std::unique_ptr<Command>> makeConduitCommands();
std::vector<std::unique_ptr<Command>> makeCradleCommands();

std::vector<std::unique_ptr<Command>> allCommands() {
    std::vector<std::unique_ptr<Command>> list;
    list.push_back(makeDevices());
    list.push_back(makeFilters());
    list.push_back(makeSend());
    list.push_back(makeReceive());
    list.push_back(makePreview());
    list.push_back(makeHistory());
    list.push_back(makeStoreInit());
    for (auto& c : makeConduitCommands()) list.push_back(std::move(c));
    for (auto& c : makeCradleCommands()) list.push_back(std::move(c));
    list.push_back(makeTranslate());
    list.push_back(makeCheck());
    return list;
}

QList<QPair<QString, QString>> commandGroups() {
    return {{QStringLiteral("store"), QStringLiteral("the local sync store: init PATH")},
            {QStringLiteral("conduit"),
             QStringLiteral("the conduit's registration: show, register-send, register-receive, disable, wait")},
            {QStringLiteral("cradle"), QStringLiteral("the network cradle (kvcradle): token N, status")}};
}

} // namespace kv::cli
