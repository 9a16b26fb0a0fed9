// Searches of the modern interface: the classic streamed search run by a worker thread that
// hands entries over in small batches (SearchStream), or gathered at once (SearchResult).

#include "modern_search.h"

#include <ldap.h>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "entry_comparator.h"
#include "modern_connection.h"
#include "modern_core.h"
#include "modern_error.h"
#include "search_results.h"

namespace dirclient {

namespace {

// At most kCapacity entries wait between the worker and the reader (memory stays flat); the
// reader is woken when kWake have gathered, or after kGather with whatever came, so that a
// fast answer costs few thread switches and a slow one still arrives entry by entry.
constexpr std::size_t kCapacity = 512;
constexpr std::size_t kWake = 128;
constexpr std::chrono::milliseconds kGather{5};

bool is_limit(int code) {
    return code == LDAP_TIMELIMIT_EXCEEDED || code == LDAP_SIZELIMIT_EXCEEDED;
}

bool entry_exists(DConnection& classic, const std::string& dn) {
    DException* failure = nullptr;
    std::unique_ptr<DEntry> found(classic.read(dn.c_str(), nullptr, &failure));
    delete failure;
    return found != nullptr;
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
    std::unique_ptr<SearchConstraints> limits;
    if (request.options.sizeLimit > 0 || request.options.timeLimit.count() > 0)
        limits = std::make_unique<SearchConstraints>(
            static_cast<int>(request.options.timeLimit.count()), request.options.sizeLimit);
    DException* failure = nullptr;
    DConnection::SearchOutcome outcome = core.classic.searchEach(
        request.base.c_str(), request.scope, request.filter.c_str(), request.attributes.get(),
        request.options.typesOnly, limits.get(), request.options.pageSize, sink, &failure);
    SearchEnd end;
    end.code = outcome.ldapCode;
    end.failure.reset(failure);
    if (failure == nullptr) return end;
    int code = failure->getLdapErrorCode();
    // A limit cuts the answer short on every back end alike; a flat file says "no such
    // object" for an empty answer, which over LDAP is no failure.
    if (is_limit(code) || (core.flatFile && code == LDAP_NO_SUCH_OBJECT && outcome.entries == 0 &&
                           entry_exists(core.classic, request.base))) {
        end.code = is_limit(code) ? code : LDAP_SUCCESS;
        end.failure.reset();
    }
    return end;
}

// ---- the stream ----------------------------------------------------------------------------

class SearchState {
  public:
    SearchState(std::shared_ptr<ConnectionCore> core, SearchRequest request)
        : core_(std::move(core)), request_(std::move(request)) {}
    ~SearchState() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancelled_ = true;
        }
        drained_.notify_all();
        if (worker_.joinable()) worker_.join();
        letGo();
    }
    SearchState(const SearchState&) = delete;
    SearchState& operator=(const SearchState&) = delete;

    // The core must be marked streaming: the mark is this search's until the reader has
    // seen the end or the search is destroyed.
    void start() {
        holding_ = true;
        worker_ = std::thread([this] { work(); });
    }

    Entry* current() { return at_ < batch_.size() ? &batch_[at_] : nullptr; }
    bool started() const { return started_; }

    // To the next entry, waiting for the worker when the batch is used up.
    void advance() {
        started_ = true;
        if (at_ < batch_.size()) ++at_;
        if (at_ < batch_.size()) return;
        at_ = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        // Entries go back to be freed by the worker that made them: freeing them here would
        // cross the allocator's per-thread arenas and caches, a good share of the time.
        if (spent_.empty() && !finished_)
            spent_.swap(batch_);
        else
            batch_.clear();
        auto enough = [&] { return finished_ || pending_.size() >= kWake; };
        if (!arrived_.wait_for(lock, kGather, enough)) {
            anyWanted_ = true;
            arrived_.wait(lock, [&] { return finished_ || !pending_.empty(); });
            anyWanted_ = false;
        }
        batch_.swap(pending_);
        drained_.notify_one();
        if (!batch_.empty()) return;
        letGo();  // the worker is done with the connection
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }

    int code() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return code_;
    }

  private:
    void letGo() {
        if (holding_) core_->streaming.store(false, std::memory_order_release);
        holding_ = false;
    }

    void work() {
        SearchEnd end;
        try {
            end = run_search(*core_, request_, [this](DEntry* found) { return deliver(found); });
        } catch (...) {
            end.failure.reset();
            setError(std::current_exception());
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (end.failure && !error_) error_ = std::make_exception_ptr(Error(*end.failure));
        code_ = end.code;
        finished_ = true;
        arrived_.notify_one();
    }

    // Runs in the worker, inside the classic search: nothing may be thrown from here.
    bool deliver(DEntry* found) {
        try {
            Entry entry = Entry::adopt(found);
            std::vector<Entry> spent;
            std::unique_lock<std::mutex> lock(mutex_);
            spent.swap(spent_);
            drained_.wait(lock, [&] { return cancelled_ || pending_.size() < kCapacity; });
            if (cancelled_) return false;
            pending_.push_back(std::move(entry));
            if (pending_.size() == kWake || (anyWanted_ && pending_.size() == 1))
                arrived_.notify_one();
            return true;  // the spent entries are freed after the lock is let go
        } catch (...) {
            setError(std::current_exception());
            return false;
        }
    }

    void setError(std::exception_ptr error) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!error_) error_ = std::move(error);
    }

    std::shared_ptr<ConnectionCore> core_;
    const SearchRequest request_;

    mutable std::mutex mutex_;
    std::condition_variable arrived_;  // entries came, or the search ended
    std::condition_variable drained_;  // room in pending_, or cancelled
    // Guarded by mutex_.
    std::vector<Entry> pending_;
    std::vector<Entry> spent_;  // read by the reader, to be freed by the worker
    bool finished_ = false;
    bool cancelled_ = false;
    bool anyWanted_ = false;  // the reader waits for any entry, not for a batch
    int code_ = 0;
    std::exception_ptr error_;

    // The reader's own.
    std::vector<Entry> batch_;
    std::size_t at_ = 0;
    bool started_ = false;
    bool holding_ = false;  // this search holds the connection's streaming mark

    std::thread worker_;
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
    bool idle = false;
    if (!core_->streaming.compare_exchange_strong(idle, true)) core_->checkIdle();
    try {
        auto state = std::make_unique<SearchState>(
            core_, SearchRequest(base, scope, filter, attributes, options));
        state->start();
        return SearchStream(std::move(state));
    } catch (...) {
        core_->streaming.store(false);
        throw;
    }
}

// ---- the whole answer -----------------------------------------------------------------------

SearchResult Connection::searchAll(std::string_view base, Scope scope, std::string_view filter,
                                   const Names& attributes, const SearchOptions& options) {
    core_->checkIdle();
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
