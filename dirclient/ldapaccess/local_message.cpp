#include "local_message.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace dirclient::ldapaccess {

namespace {

struct Registration {
    LocalMessage* local = nullptr;  // null for a translated libldap message
    int caller_id = 0;
};

class Registry {
  public:
    void add(const void* key, Registration value) {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_[key] = value;
        size_.store(entries_.size(), std::memory_order_release);
    }

    void remove(const void* key) {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.erase(key);
        size_.store(entries_.size(), std::memory_order_release);
    }

    bool find(const void* key, Registration* out) {
        if (size_.load(std::memory_order_acquire) == 0) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = entries_.find(key);
        if (it == entries_.end()) return false;
        *out = it->second;
        return true;
    }

    size_t size() const { return size_.load(std::memory_order_acquire); }

  private:
    std::mutex mutex_;
    std::unordered_map<const void*, Registration> entries_;  // guarded by mutex_
    std::atomic<size_t> size_{0};
};

// Never destroyed: messages may be released from static destructors of applications.
Registry& registry() {
    static Registry* instance = new Registry;
    return *instance;
}

}  // namespace

LDAPMessage* make_local_chain(int msgid, const MessageCopies& messages) {
    LocalMessage* head = nullptr;
    LocalMessage** tail = &head;
    for (const auto& [type, bytes] : messages) {
        auto* node = new LocalMessage{msgid, type, bytes, nullptr};
        registry().add(node, Registration{node, msgid});
        *tail = node;
        tail = &node->next;
    }
    return reinterpret_cast<LDAPMessage*>(head);
}

LocalMessage* as_local(LDAPMessage* message) {
    Registration found;
    if (message == nullptr || !registry().find(message, &found)) return nullptr;
    return found.local;
}

int free_local_chain(LocalMessage* node) {
    int type = 0;
    while (node != nullptr) {
        LocalMessage* next = node->next;
        type = node->type;
        registry().remove(node);
        delete node;
        node = next;
    }
    return type;
}

LocalMessage* detach_first(LocalMessage* head) {
    LocalMessage* rest = head->next;
    head->next = nullptr;
    return rest;
}

void register_translated(LDAPMessage* message, int caller_id) {
    registry().add(message, Registration{nullptr, caller_id});
}

bool translated_id(LDAPMessage* message, int* caller_id) {
    Registration found;
    if (message == nullptr || !registry().find(message, &found) || found.local != nullptr)
        return false;
    *caller_id = found.caller_id;
    return true;
}

void forget_translated(LDAPMessage* message) {
    if (registry().size() != 0) registry().remove(message);
}

size_t registered_message_count() {
    return registry().size();
}

}  // namespace dirclient::ldapaccess
