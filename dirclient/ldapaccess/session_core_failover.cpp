// SessionCore: installing the connection to another server, and keeping or undoing it.

#include "session_core.h"

namespace dirclient::ldapaccess {

SessionCore::Connection SessionCore::install(LdapSessionPtr ld, ServerAddress server,
                                             const std::vector<std::pair<int, int>>& resent) {
    Connection previous = std::move(connection_);
    connection_ = Connection{};
    connection_.ld = std::move(ld);
    connection_.open = true;
    connection_.server = std::move(server);
    for (const auto& [caller_id, library_id] : resent) {
        connection_.by_caller[caller_id] = library_id;
        connection_.by_library[library_id] = caller_id;
    }
    translating_ = true;  // the new session numbers its requests from 1 again
    return previous;
}

void SessionCore::restore(Connection previous) {
    end_session(std::move(connection_.ld));
    connection_ = std::move(previous);
}

void SessionCore::commit(Connection previous) {
    end_session(std::move(previous.ld));
    for (const auto& route : previous.by_caller) {
        if (connection_.by_caller.count(route.first) != 0) continue;
        lost_.insert(route.first);
        if (cache_) cache_->uncache_request(route.first);
    }
    // Answers kept from another server may not hold on this one.
    if (cache_ && !same_server(previous.server, connection_.server)) cache_->flush();
}

}  // namespace dirclient::ldapaccess
