// Searches of the modern interface: the classic streamed search pulled in small batches by
// the reader (SearchStream), or gathered at once (SearchResult).

#include "modern_search.h"

#include <ldap.h>

#include <exception>

#include "entry_comparator.h"
#include "entry_stream.h"
#include "modern_connection.h"
#include "modern_core.h"
#include "modern_error.h"
#include "search_results.h"

namespace dirclient {

namespace {

// Entries taken from the connection in one step at most: memory stays flat, and a fast
// answer costs one lock of the connection per batch.
constexpr std::size_t kBatch = 16;

bool entry_exists(DConnection& classic, const std::string& dn) {
    DException* failure = nullptr;
    std::unique_ptr<DEntry> found(classic.read(dn.c_str(), nullptr, &failure));
    delete failure;
    return found != nullptr;
}

std::unique_ptr<SearchConstraints> limits_of(const SearchOptions& options) {
    if (options.sizeLimit <= 0 && options.timeLimit.count() <= 0) return nullptr;
    return std::make_unique<SearchConstraints>(static_cast<int>(options.timeLimit.count()),
                                               options.sizeLimit);
}

// How a classic search ended, as the modern interface tells it: a limit cuts the answer
// short on every back end alike; a flat file says "no such object" for an empty answer,
// which over LDAP is no failure.
SearchEnd settle(ConnectionCore& core, const SearchRequest& request, int code, long entries,
                 DException* failure) {
    SearchEnd end;
    end.code = code;
    end.failure.reset(failure);
    if (failure == nullptr) return end;
    int said = failure->getLdapErrorCode();
    if (connection::cut_short_by_limit(said) ||
        (core.flatFile && said == LDAP_NO_SUCH_OBJECT && entries == 0 &&
         entry_exists(core.classic, request.base))) {
        end.code = connection::cut_short_by_limit(said) ? said : LDAP_SUCCESS;
        end.failure.reset();
    }
    return end;
}

}  // namespace

SearchRequest::SearchRequest(std::string_view base, Scope scope, std::string_view filter,
                             const Names& names, const SearchOptions& options)
    : base(classic_text(base)),
      scope(static_cast<int>(scope)),
      filter(classic_text(filter)),
      attributes(classic_names(names)),
      options(options) {}

SearchEnd run_search(ConnectionCore& core, const SearchRequest& request,
                     const std::function<bool(DEntry*)>& sink) {
    std::unique_ptr<SearchConstraints> limits = limits_of(request.options);
    connection::EntryStream stream(core.classic, request.base.c_str(), request.scope,
                                   request.filter.c_str(), request.attributes.get(),
                                   request.options.typesOnly, limits.get(),
                                   request.options.pageSize, connection::EntryForm::ValuesOnly);
    stream.step(sink, 0);
    return settle(core, request, stream.outcome().ldapCode, stream.outcome().entries,
                  stream.takeFailure());
}

// ---- the stream ----------------------------------------------------------------------------

// The search pulled batch by batch in the reader's own thread: the connection is locked
// while a batch is taken only.
class SearchState {
  public:
    // Counted among the connection's open streams until the reader has seen the end or the
    // search is destroyed.
    SearchState(std::shared_ptr<ConnectionCore> core, SearchRequest request)
        : core_(std::move(core)),
          request_(std::move(request)),
          limits_(limits_of(request_.options)),
          stream_(core_->classic, request_.base.c_str(), request_.scope, request_.filter.c_str(),
                  request_.attributes.get(), request_.options.typesOnly, limits_.get(),
                  request_.options.pageSize, connection::EntryForm::ValuesOnly) {
        core_->streams.fetch_add(1, std::memory_order_acq_rel);
        holding_ = true;
    }
    ~SearchState() {
        // The stream, a member, abandons a search still running.
        letGo();
    }
    SearchState(const SearchState&) = delete;
    SearchState& operator=(const SearchState&) = delete;

    Entry* current() { return at_ < batch_.size() ? &batch_[at_] : nullptr; }
    bool started() const { return started_; }
    int code() const { return code_; }

    // To the next entry, taking the next batch when this one is used up.
    void advance() {
        started_ = true;
        if (at_ < batch_.size()) ++at_;
        if (at_ < batch_.size()) return;
        at_ = 0;
        batch_.clear();
        while (batch_.empty() && more_ && !error_)
            more_ = stream_.step([this](DEntry* found) { return keep(found); }, kBatch) && !error_;
        if (!batch_.empty()) return;
        letGo();
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
        SearchEnd end = settle(*core_, request_, stream_.outcome().ldapCode,
                               stream_.outcome().entries, stream_.takeFailure());
        code_ = end.code;
        if (end.failure) throw Error(*end.failure);
    }

  private:
    // Runs inside the classic search: nothing may be thrown from here.
    bool keep(DEntry* found) {
        try {
            Entry entry = Entry::adopt(found);
            batch_.push_back(std::move(entry));
            return true;
        } catch (...) {
            error_ = std::current_exception();
            return false;
        }
    }

    void letGo() {
        if (holding_) core_->streams.fetch_sub(1, std::memory_order_acq_rel);
        holding_ = false;
    }

    std::shared_ptr<ConnectionCore> core_;
    const SearchRequest request_;
    std::unique_ptr<SearchConstraints> limits_;
    connection::EntryStream stream_;
    std::vector<Entry> batch_;
    std::size_t at_ = 0;
    bool started_ = false;
    bool more_ = true;
    bool holding_ = false;  // counted among the connection's open streams
    int code_ = 0;
    std::exception_ptr error_;
};

SearchStream::SearchStream(std::unique_ptr<SearchState> state) : state_(std::move(state)) {}
SearchStream::SearchStream(SearchStream&&) noexcept = default;
SearchStream& SearchStream::operator=(SearchStream&&) noexcept = default;
SearchStream::~SearchStream() = default;

SearchStream::iterator SearchStream::begin() {
    if (!state_->started()) state_->advance();
    return iterator(state_.get());
}

int SearchStream::resultCode() const {
    return state_->code();
}

Entry& SearchStream::iterator::operator*() const {
    return *state_->current();
}

SearchStream::iterator& SearchStream::iterator::operator++() {
    state_->advance();
    return *this;
}

bool SearchStream::iterator::operator==(std::default_sentinel_t) const {
    return state_ == nullptr || state_->current() == nullptr;
}

SearchStream Connection::search(std::string_view base, Scope scope, std::string_view filter,
                                const Names& attributes, const SearchOptions& options) {
    return SearchStream(std::make_unique<SearchState>(
        core_, SearchRequest(base, scope, filter, attributes, options)));
}

// ---- the whole answer -----------------------------------------------------------------------

SearchResult Connection::searchAll(std::string_view base, Scope scope, std::string_view filter,
                                   const Names& attributes, const SearchOptions& options) {
    std::vector<Entry> entries;
    SearchEnd end = run_search(*core_, SearchRequest(base, scope, filter, attributes, options),
                               [&](DEntry* found) {
                                   entries.push_back(Entry::adopt(found));
                                   return true;
                               });
    if (end.failure) throw Error(*end.failure);
    return SearchResult(std::move(entries), end.code);
}

void SearchResult::sort(EntryComparator& comparator) {
    // The classic sort itself, on the same entries lent to a classic result for the time.
    SearchResults classic;
    for (Entry& entry : entries_)
        classic.addEntry(entry.release());
    classic.sort(&comparator);
    std::size_t k = 0;
    for (DListItem* item = classic.getValues()->getHead(); item != nullptr;
         item = item->getNextItem()) {
        entries_[k++] = Entry::adopt(static_cast<DEntry*>(item->getValue()));
        item->resetValue(nullptr);
    }
}

void SearchResult::sort(const Names& attributes, bool ascending) {
    if (entries_.size() < 2) return;
    if (attributes.list().size() <= 1) {
        std::string name = attributes.empty() ? "" : attributes.list().front();
        CompareAttrNames byOne(name.c_str(), ascending);
        sort(byOne);
        return;
    }
    auto orders = new DList();
    for (std::size_t k = 0; k < attributes.list().size(); ++k)
        orders->append(&ascending, DLIST_BOOL, true);
    CompareAttrNames byList(classic_names(attributes).release(), orders, nullptr);
    sort(byList);
}

}  // namespace dirclient
