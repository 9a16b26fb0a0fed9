// dirclient::Connection: each call is the classic call of the same name, its report thrown.

#include "modern_connection.h"

#include <ldap.h>

#include "directory_handle.h"
#include "ffdn.h"
#include "modern_core.h"
#include "modern_error.h"

namespace dirclient {

namespace {

// Runs one classic call that reports through its last argument; throws its failure.
template <typename Call>
auto reported(Call&& call) {
    DException* failure = nullptr;
    if constexpr (std::is_void_v<decltype(call(&failure))>) {
        call(&failure);
        throw_if(failure);
    } else {
        auto result = call(&failure);
        throw_if(failure);
        return result;
    }
}

}  // namespace

void ConnectionCore::checkNoStream() const {
    if (streams.load(std::memory_order_acquire) > 0)
        throw Error(0, 0, "ERROR: connection busy",
                    "a streamed search of this connection is still open; finish or destroy it "
                    "before binding or closing");
}

void throw_if(DException* failure) {
    if (failure == nullptr) return;
    std::unique_ptr<DException> owned(failure);
    throw Error(*owned);
}

std::unique_ptr<DList> classic_names(const Names& names) {
    if (names.empty()) return nullptr;
    auto list = std::make_unique<DList>();
    for (const std::string& name : names.list())
        list->append(const_cast<char*>(name.c_str()), DLIST_STRING, true);
    return list;
}

Connection::Connection(std::string_view host, const Options& options)
    : core_(std::make_shared<ConnectionCore>()) {
    DConnection& c = core_->classic;
    if (options.startTls != StartTls::Default)
        reported([&](DException** out) { c.setStartTLS(static_cast<int>(options.startTls), out); });
    if (options.responseTimeout.count() > 0)
        reported(
            [&](DException** out) { c.setResponseTimeout(options.responseTimeout.count(), out); });
    std::string where = classic_text(host);
    if (options.bindDn.empty())
        reported([&](DException** out) { c.connect(where.c_str(), 0, out); });
    else
        reported([&](DException** out) {
            c.connect(where.c_str(), 0, options.bindDn.c_str(), options.password.c_str(), out);
        });
    DS_LDAP* handle = c.getConnection();
    core_->flatFile = handle != nullptr && handle->kind == QDX_LDAP_FLAT_FILE;
}

Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;
Connection::~Connection() = default;

DConnection& Connection::classic() {
    return core_->classic;
}

void Connection::bind(std::string_view dn, std::string_view password) {
    core_->checkNoStream();
    reported([&](DException** out) {
        core_->classic.authenticate(classic_text(dn).c_str(), classic_text(password).c_str(), out);
    });
}

void Connection::close() {
    core_->checkNoStream();
    reported([&](DException** out) { core_->classic.disconnect(out); });
}

std::optional<Entry> Connection::read(std::string_view dn, const Names& attributes) {
    std::unique_ptr<DList> names = classic_names(attributes);
    DException* failure = nullptr;
    DEntry* found = core_->classic.read(classic_text(dn).c_str(), names.get(), &failure);
    if (failure != nullptr && failure->getLdapErrorCode() == LDAP_NO_SUCH_OBJECT) {
        delete failure;
        return std::nullopt;
    }
    throw_if(failure);
    if (found == nullptr) return std::nullopt;
    return Entry::adopt(found);
}

bool Connection::compare(std::string_view dn, std::string_view attribute, std::string_view value) {
    ::Attribute assertion(classic_text(attribute).c_str());
    add_classic_value(assertion, value);
    return reported([&](DException** out) {
        return core_->classic.compare(classic_text(dn).c_str(), &assertion, out);
    });
}

void Connection::add(const Entry& entry) {
    // The classic add reads the entry only (its cursors aside).
    reported(
        [&](DException** out) { core_->classic.add(const_cast<DEntry*>(&entry.classic()), out); });
}

void Connection::modify(const Modify& changes) {
    std::string dn = classic_text(changes.dn());
    ModificationSet set;
    for (const Modify::Change& change : changes.changes()) {
        auto* attribute = new ::Attribute(classic_text(change.name).c_str());
        set.add(change.op == Modify::Op::Add      ? MOD_OP_ADD
                : change.op == Modify::Op::Remove ? MOD_OP_DELETE
                                                  : MOD_OP_REPLACE,
                attribute);
        for (const std::string& value : change.values)
            add_classic_value(*attribute, value);
    }
    reported([&](DException** out) { core_->classic.modify(dn.c_str(), &set, out); });
}

void Connection::remove(std::string_view dn) {
    reported([&](DException** out) { core_->classic.remove(classic_text(dn).c_str(), out); });
}

void Connection::removeTree(std::string_view dn) {
    reported([&](DException** out) { core_->classic.removeTree(classic_text(dn).c_str(), out); });
}

void Connection::rename(std::string_view dn, std::string_view newRdn, bool deleteOldRdn) {
    reported([&](DException** out) {
        core_->classic.rename(classic_text(dn).c_str(), classic_text(newRdn).c_str(), deleteOldRdn,
                              out);
    });
}

void Connection::move(std::string_view dn, std::string_view newParent, std::string_view newRdn,
                      bool deleteOldRdn) {
    std::string from = classic_text(dn);
    std::string rdn =
        newRdn.empty() ? from.substr(0, ffdn::rdnLength(from.c_str())) : classic_text(newRdn);
    reported([&](DException** out) {
        core_->classic.rename(from.c_str(), rdn.c_str(), classic_text(newParent).c_str(),
                              deleteOldRdn, out);
    });
}

}  // namespace dirclient
