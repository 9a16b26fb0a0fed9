// Declaring activities and building their tree.

#include <cstdio>
#include <memory>

#include "profile_activity.h"
#include "profiler_state.h"

using namespace dirclient::profile;

namespace {

enum class Declared { recorded, refused, closed };

// Places a new activity under the innermost open composite that was recorded.
void place_in_tree(Profiler& p, qdx_activity& activity) {
    OpenComposite* holder = nullptr;
    for (auto it = p.open.rbegin(); it != p.open.rend(); ++it) {
        if (it->activity != nullptr) {
            holder = &*it;
            break;
        }
    }
    qdx_activity*& last = holder != nullptr ? holder->last_child : p.last_top_level;
    activity.declared_parent = holder != nullptr ? holder->activity : nullptr;
    activity.declared_previous = last;
    last = &activity;
}

// Under the mutex. A refused declaration leaves no trace in the tree, so a repeated name
// cannot shift the activities that follow it.
Declared declare(Profiler& p, const char* name, const char* description) {
    if (p.declarations_closed) {
        fputs(
            "*** activity declaration ignore because the global activity\n"
            "\t  is closed, check the activity nesting\n",
            stderr);
        return Declared::closed;
    }
    if (name == nullptr) return Declared::refused;
    auto activity = std::make_unique<qdx_activity>();
    activity->name = name;
    activity->description = description != nullptr ? description : "";
    activity->profiled = p.profiled_names.contains(activity->name);
    activity->position = p.table.size();
    add_thread_measurements(p, *activity);
    // Room first: once indexed, the activity must reach the table without a failure.
    if (p.table.size() == p.table.capacity()) p.table.reserve(p.table.capacity() + 100);
    switch (name_index().insert(activity.get())) {
        case ActivityNameIndex::Insert::known:
            return Declared::refused;
        case ActivityNameIndex::Insert::full:
            fprintf(stderr, "*** too many activities (max is %d), current activity: %s\n",
                    static_cast<int>(kNameIndexSlots), name);
            return Declared::refused;
        case ActivityNameIndex::Insert::added:
            break;
    }
    place_in_tree(p, *activity);
    p.table.push_back(std::move(activity));
    return Declared::recorded;
}

// Links every activity as declared and publishes the links for the lock-free readers.
void publish_tree(Profiler& p) {
    const size_t n = p.table.size();
    // Children follow their parents in the table, so one backward pass marks every
    // activity that is profiled or has profiled activities below it.
    std::vector<bool> stoppable(n, false);
    for (size_t i = n; i-- > 0;) {
        const qdx_activity& a = *p.table[i];
        if (a.profiled) stoppable[i] = true;
        if (stoppable[i] && a.declared_parent != nullptr) {
            stoppable[a.declared_parent->position] = true;
        }
    }
    std::vector<ActivityGroup*> children_of(n, nullptr);
    ActivityGroup* top_level = nullptr;
    auto group_for = [&](ActivityGroup*& slot) -> ActivityGroup& {
        if (slot == nullptr) {
            p.groups.push_back(std::make_unique<ActivityGroup>());
            slot = p.groups.back().get();
        }
        return *slot;
    };
    for (size_t i = 0; i < n; ++i) {
        qdx_activity* a = p.table[i].get();
        if (!stoppable[i]) continue;
        qdx_activity* parent = a->declared_parent;
        group_for(parent != nullptr ? children_of[parent->position] : top_level)
            .members.push_back(a);
    }
    for (size_t i = 0; i < n; ++i) {
        qdx_activity* a = p.table[i].get();
        qdx_activity* parent = a->declared_parent;
        if (a->declared_previous != nullptr) {
            a->declared_previous->next.store(a, std::memory_order_release);
        } else if (parent != nullptr) {
            parent->first_child.store(a, std::memory_order_release);
        }
        a->previous.store(a->declared_previous, std::memory_order_release);
        a->parent.store(parent, std::memory_order_release);
        a->stoppable_children.store(children_of[i], std::memory_order_release);
        a->stoppable_siblings.store(parent != nullptr ? children_of[parent->position] : top_level,
                                    std::memory_order_release);
    }
}

// Under the mutex: the profiler for a declaration, or null when the declaration is to be
// ignored (profiling off after the first declaration, which always goes through so that
// the environment is read).
Profiler* profiler_for_declaration() {
    Profiler* p = profiler();
    if (p == nullptr) return &create_profiler();
    return profiling_on.load(std::memory_order_relaxed) != 0 ? p : nullptr;
}

}  // namespace

extern "C" void qdx_create_composite_activity(const char* name, const char* description) {
    guarded([&] {
        std::lock_guard lock(profile_mutex());
        Profiler* p = profiler_for_declaration();
        if (p == nullptr) return;
        const Declared declared = declare(*p, name, description);
        if (declared == Declared::closed) return;
        p->open.push_back(
            {declared == Declared::recorded ? p->table.back().get() : nullptr, nullptr});
    });
}

extern "C" void qdx_create_atomic_activity(const char* name, const char* description) {
    guarded([&] {
        std::lock_guard lock(profile_mutex());
        if (Profiler* p = profiler_for_declaration()) declare(*p, name, description);
    });
}

extern "C" void qdx_end_composite_activity(void) {
    guarded([] {
        std::lock_guard lock(profile_mutex());
        Profiler* p = profiler();
        if (p == nullptr || profiling_on.load(std::memory_order_relaxed) == 0) return;
        if (p->open.empty()) return;
        p->open.pop_back();
        if (p->open.empty()) {
            publish_tree(*p);
            p->declarations_closed = true;
        }
    });
}

extern "C" int qdx_create_activity(const char* name, const char* description) {
    return guarded([&] {
        std::lock_guard lock(profile_mutex());
        Profiler* p = profiler();
        if (p == nullptr) p = &create_profiler();
        return declare(*p, name, description) == Declared::recorded ? 1 : 0;
    });
}

extern "C" qdx_activity* qdx_activity_named(const char* name) {
    return name != nullptr ? name_index().find(name) : nullptr;
}

extern "C" const char* qdx_activity_name(const qdx_activity* activity) {
    return activity != nullptr ? activity->name.c_str() : nullptr;
}

extern "C" const char* qdx_activity_description(const qdx_activity* activity) {
    return activity != nullptr ? activity->description.c_str() : nullptr;
}

extern "C" int qdx_activity_profiled(const qdx_activity* activity) {
    return activity != nullptr && activity->profiled ? 1 : 0;
}
